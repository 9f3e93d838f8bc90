#include "applications/TrashWatcher.h"

#include "platform/FileProperties.h"
#include "platform/Locations.h"

#include <QFile>
#include <QFileSystemWatcher>
#include <QTimer>
#include <QUrl>

#include <algorithm>

#include <sys/stat.h>

namespace {

// mkdir -p with mode 0700 for every folder it makes, as the Trash itself does.
void makePrivatePath(const QString &path)
{
    if (path.isEmpty())
        return;
    QByteArray current;
    for (const QByteArray &part : nativePath(path).split('/')) {
        if (part.isEmpty())
            continue;
        current += '/' + part;
        ::mkdir(current.constData(), 0700);
    }
}

// The Path= of an entry's .trashinfo, percent-decoded; empty when there is none.
QString originalPath(const QString &infoFolder, const QString &entry)
{
    if (infoFolder.isEmpty())
        return {};
    QFile file(infoFolder + QLatin1Char('/') + entry + QStringLiteral(".trashinfo"));
    if (!file.open(QIODevice::ReadOnly) || file.size() > 64 * 1024)
        return {};
    bool inGroup = false;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inGroup = line == "[Trash Info]";
            continue;
        }
        if (inGroup && line.startsWith("Path=")) {
            const QByteArray bytes = QByteArray::fromPercentEncoding(line.mid(5));
            return decodeNativePath(bytes.constData(), bytes.size());
        }
    }
    return {};
}

bool isAppName(const QString &name, const FileProperties &props)
{
    if (Locations::current().os == Locations::Os::MacOS)
        return props.isDirectory && name.endsWith(QLatin1String(".app"));
    return props.isRegularFile && name.endsWith(QLatin1String(".appimage"), Qt::CaseInsensitive);
}

} // namespace

TrashWatcher::TrashWatcher(Callback onAppTrashed, QObject *parent)
    : QObject(parent), m_onAppTrashed(std::move(onAppTrashed)),
      m_trash(Locations::current().trashFiles), m_info(Locations::current().trashInfo)
{
}

TrashWatcher::~TrashWatcher() = default;

QMap<QString, QString> TrashWatcher::apps(const QString &trash, const QString &infoFolder)
{
    QMap<QString, QString> found;
    for (const QString &entry : FileProperties::listNames(trash).value_or(QStringList())) {
        const QString path = trash + QLatin1Char('/') + entry;
        const auto props = FileProperties::read(path);
        if (!props || props->isSymLink)
            continue;
        // Trashers rename clashing arrivals (Foo.AppImage.2, Foo_1.AppImage); the info
        // file keeps the name it had.
        QString original = originalPath(infoFolder, entry);
        if (original.isEmpty())
            original = path;
        const QString name = original.mid(original.lastIndexOf(QLatin1Char('/')) + 1);
        if (isAppName(name, *props))
            found.insert(entry, original);
    }
    return found;
}

void TrashWatcher::start()
{
    if (m_source)
        return;
    // A fresh account has no Trash yet; watching needs the folder.
    makePrivatePath(m_trash);
    makePrivatePath(m_info);
    const QMap<QString, QString> present = apps(m_trash, m_info);
    m_known = QSet<QString>(present.keyBegin(), present.keyEnd());
    auto *source = new QFileSystemWatcher(this);
    if (!source->addPath(m_trash)) {
        delete source;
        return;
    }
    connect(source, &QFileSystemWatcher::directoryChanged, this, &TrashWatcher::folderChanged);
    m_source = source;
}

void TrashWatcher::stop()
{
    if (m_rearmTimer) {
        m_rearmTimer->stop();
        m_rearmTimer->deleteLater();
        m_rearmTimer = nullptr;
    }
    if (!m_source)
        return;
    delete m_source;
    m_source = nullptr;
}

void TrashWatcher::folderChanged()
{
    check();
    if (!m_source || m_source->directories().contains(m_trash))
        return;
    // The folder went away (the Trash was removed whole): look for it until it is back.
    if (!m_rearmTimer) {
        m_rearmTimer = new QTimer(this);
        m_rearmTimer->setInterval(1000);
        connect(m_rearmTimer, &QTimer::timeout, this, &TrashWatcher::rearm);
    }
    m_rearmTimer->start();
}

void TrashWatcher::rearm()
{
    if (!m_source || !FileProperties::exists(m_trash) || !m_source->addPath(m_trash))
        return;
    m_rearmTimer->stop();
    check();
}

void TrashWatcher::check()
{
    const QMap<QString, QString> current = apps(m_trash, m_info);
    QStringList arrived;
    for (auto it = current.cbegin(); it != current.cend(); ++it)
        if (!m_known.contains(it.key()))
            arrived.append(it.key());
    m_known = QSet<QString>(current.keyBegin(), current.keyEnd());
    std::sort(arrived.begin(), arrived.end());
    QPointer<TrashWatcher> self(this);
    for (const QString &entry : arrived) {
        if (!self)
            return;
        if (m_onAppTrashed)
            m_onAppTrashed(m_trash + QLatin1Char('/') + entry, current.value(entry));
    }
}
