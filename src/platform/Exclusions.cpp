#include "platform/Exclusions.h"

#include "platform/BytePath.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"
#include "platform/PathList.h"

#include <QMutex>

#include <optional>

#include <sys/stat.h>

namespace {

struct Stamp {
    QString file;
    bool present = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    qint64 changedNs = 0;
    friend bool operator==(const Stamp &, const Stamp &) = default;
};

Stamp stampOf(const QString &file)
{
    Stamp s{file};
    struct stat st;
    if (::stat(nativePath(file).constData(), &st) == 0) {
        s.present = true;
        s.device = st.st_dev;
        s.inode = st.st_ino;
        s.size = st.st_size;
#ifdef Q_OS_MACOS
        const struct timespec &t = st.st_mtimespec;
#else
        const struct timespec &t = st.st_mtim;
#endif
        s.changedNs = qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
    }
    return s;
}

QMutex gMutex;
Stamp gExcludedStamp, gKeptStamp;
std::optional<Exclusions> gLast;

QList<QByteArray> spellings(const QList<QByteArray> &paths)
{
    QList<QByteArray> out;
    for (const QByteArray &path : paths) {
        out.append(path);
        if (const auto real = realPath(path); real && *real != path)
            out.append(*real);
    }
    return out;
}

bool sameOrInsideAny(const QByteArray &path, const QList<QByteArray> &folders)
{
    for (const QByteArray &folder : folders) {
        if (BytePath::isSameOrInside(path, folder))
            return true;
    }
    return false;
}

bool holdsAny(const QByteArray &path, const QList<QByteArray> &folders)
{
    for (const QByteArray &folder : folders) {
        if (BytePath::isStrictlyInside(folder, path))
            return true;
    }
    return false;
}

QString display(const QByteArray &path)
{
    return decodeNativePath(path.constData(), path.size());
}

} // namespace

QString Exclusions::fileOf(List list)
{
    return Locations::current().configFolder + (list == List::ExcludedFolders
                                                    ? QStringLiteral("/excluded-folders")
                                                    : QStringLiteral("/keep-list"));
}

Exclusions Exclusions::current()
{
    const Stamp excludedStamp = stampOf(fileOf(List::ExcludedFolders));
    const Stamp keptStamp = stampOf(fileOf(List::KeepList));
    {
        QMutexLocker lock(&gMutex);
        if (gLast && excludedStamp == gExcludedStamp && keptStamp == gKeptStamp)
            return *gLast;
    }
    Exclusions e;
    const PathList::Read excluded = PathList::read(excludedStamp.file);
    const PathList::Read kept = PathList::read(keptStamp.file);
    if (!excluded.error.isEmpty())
        e.m_error = QStringLiteral("The list of excluded folders (%1) cannot be read: %2.")
                        .arg(excludedStamp.file, excluded.error);
    else if (!kept.error.isEmpty())
        e.m_error = QStringLiteral("The keep list (%1) cannot be read: %2.")
                        .arg(keptStamp.file, kept.error);
    e.m_excluded = excluded.paths;
    e.m_kept = kept.paths;
    e.m_excludedSpellings = spellings(e.m_excluded);
    e.m_keptSpellings = spellings(e.m_kept);
    for (const QByteArray &folder : std::as_const(e.m_excluded)) {
        struct stat st;
        if (::stat(folder.constData(), &st) == 0)
            e.m_excludedIds.insert(FileId{quint64(st.st_dev), quint64(st.st_ino)});
    }
    QMutexLocker lock(&gMutex);
    gExcludedStamp = excludedStamp;
    gKeptStamp = keptStamp;
    gLast = e;
    return e;
}

QString Exclusions::write(List list, const QList<QByteArray> &paths)
{
    return PathList::write(fileOf(list), paths);
}

bool Exclusions::isExcluded(const QByteArray &path) const
{
    return sameOrInsideAny(path, m_excludedSpellings);
}

bool Exclusions::isExcludedFolder(const QByteArray &path) const
{
    return m_excludedSpellings.contains(path);
}

bool Exclusions::holdsExcluded(const QByteArray &path) const
{
    return holdsAny(path, m_excludedSpellings);
}

bool Exclusions::isKept(const QByteArray &path) const
{
    return sameOrInsideAny(path, m_keptSpellings);
}

bool Exclusions::offers(const QByteArray &path) const
{
    return isReadable() && !isExcluded(path) && !isKept(path) && !holdsExcluded(path) &&
           !holdsAny(path, m_keptSpellings);
}

QString Exclusions::removalRefusal(const QByteArray &path) const
{
    if (!isReadable())
        return m_error;
    if (isExcluded(path))
        return QStringLiteral("%1 is in a folder excluded in Settings.").arg(display(path));
    if (holdsExcluded(path))
        return QStringLiteral("%1 holds a folder excluded in Settings.").arg(display(path));
    return {};
}
