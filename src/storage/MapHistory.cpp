#include "storage/MapHistory.h"

#include "platform/Locations.h"
#include "platform/PathList.h"
#include "platform/SystemLog.h"
#include "storage/StorageScanner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

namespace {

// One line a measurement: the folder, the day, then name=bytes for each child kept.
const QByteArray kHeader = QByteArrayLiteral("# quillmar map history 1");

QByteArray lastName(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

} // namespace

MapHistory::MapHistory(const QString &file) : m_file(file) {}

QString MapHistory::defaultFile()
{
    return Locations::current().cacheFolder + QStringLiteral("/map-history");
}

void MapHistory::load()
{
    m_loaded = true;
    QFile f(m_file);
    if (!f.open(QIODevice::ReadOnly))
        return;
    if (f.readLine().trimmed() != kHeader)
        return;
    while (!f.atEnd()) {
        const QList<QByteArray> fields = f.readLine().trimmed().split(' ');
        const std::optional<QByteArray> folder = PathList::decode(fields.value(0));
        const QDate day = QDate::fromString(QString::fromLatin1(fields.value(1)), Qt::ISODate);
        if (!folder || !day.isValid())
            continue; // a damaged line of a cache: only what it held is lost
        Measurement m{day, {}};
        for (qsizetype i = 2; i < fields.size(); ++i) {
            const qsizetype equals = fields[i].indexOf('=');
            const std::optional<QByteArray> name = PathList::decode('/' + fields[i].left(equals));
            bool ok = false;
            const qint64 bytes = fields[i].mid(equals + 1).toLongLong(&ok);
            if (equals > 0 && name && ok)
                m.children.insert(name->mid(1), bytes);
        }
        QList<Measurement> &kept = m_folders[*folder];
        if (!kept.isEmpty() && kept.last().day >= day)
            continue;
        kept.append(m);
        if (kept.size() > measurementsKept)
            kept.removeFirst();
    }
}

void MapHistory::save()
{
    QDir().mkpath(QFileInfo(m_file).path());
    QSaveFile out(m_file);
    if (!out.open(QIODevice::WriteOnly))
        return;
    out.write(kHeader + '\n');
    for (auto it = m_folders.cbegin(); it != m_folders.cend(); ++it) {
        for (const Measurement &m : it.value()) {
            QByteArray line =
                PathList::encode(it.key()) + ' ' + m.day.toString(Qt::ISODate).toLatin1();
            for (auto c = m.children.cbegin(); c != m.children.cend(); ++c)
                line += ' ' + PathList::encode(c.key()) + '=' + QByteArray::number(c.value());
            out.write(line + '\n');
        }
    }
    if (!out.commit())
        SystemLog::write(SystemLog::Level::Error,
                         QStringLiteral("The map's history (%1) could not be saved: %2")
                             .arg(m_file, out.errorString()));
}

void MapHistory::record(const QByteArray &folder, QList<StorageEntry> &children, const QDate &day)
{
    QMutexLocker lock(&m_mutex);
    if (!m_loaded)
        load();
    QList<Measurement> &kept = m_folders[folder];
    const Measurement *before = nullptr;
    for (auto it = kept.crbegin(); it != kept.crend() && !before; ++it) {
        if (it->day < day)
            before = &*it;
    }
    Measurement now{day, {}};
    for (StorageEntry &child : children) {
        const QByteArray name = lastName(child.nativePath);
        if (child.bytes >= smallestKept && !child.isExcluded && !child.isOtherDisk)
            now.children.insert(name, child.bytes);
        if (before && !child.isExcluded && !child.isOtherDisk) {
            child.changedBytes = child.bytes - before->children.value(name, 0);
            child.changedSince = before->day;
        }
    }
    if (!kept.isEmpty() && kept.last().day >= day)
        kept.last() = now;
    else
        kept.append(now);
    while (kept.size() > measurementsKept)
        kept.removeFirst();
    while (m_folders.size() > foldersKept) {
        auto oldest = m_folders.begin();
        for (auto it = m_folders.begin(); it != m_folders.end(); ++it) {
            if (it.value().last().day < oldest.value().last().day)
                oldest = it;
        }
        m_folders.erase(oldest);
    }
    save();
}

QString MapHistory::changeText(qint64 bytes, const QDate &since)
{
    if (!since.isValid() || bytes == 0)
        return {};
    const QString amount = bytes > 0 ? QLatin1Char('+') + formatBytes(bytes) : formatBytes(bytes);
    return amount + QStringLiteral(" since ") + QLocale().toString(since, QStringLiteral("d MMM"));
}
