#include "platform/FileIdentity.h"

#include <fcntl.h>
#include <sys/stat.h>

FileIdentity FileIdentity::fromStat(const struct stat &st)
{
#ifdef Q_OS_MACOS
    const struct timespec &mtime = st.st_mtimespec;
#else
    const struct timespec &mtime = st.st_mtim;
#endif
    return {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
            qint64(mtime.tv_sec) * 1000000000 + mtime.tv_nsec, S_ISDIR(st.st_mode)};
}

std::optional<FileIdentity> FileIdentity::readAt(int folderFd, const QByteArray &name)
{
    struct stat st;
    if (name.isEmpty() || name.contains('\0') ||
        ::fstatat(folderFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return fromStat(st);
}

std::optional<FileIdentity> FileIdentity::read(const QByteArray &path)
{
    struct stat st;
    if (path.isEmpty() || path.contains('\0') || ::lstat(path.constData(), &st) != 0)
        return std::nullopt;
    return fromStat(st);
}

bool FileIdentity::matches(const FileIdentity &now) const
{
    if (isNull() || id() != now.id() || isFolder != now.isFolder)
        return false;
    return isFolder || (size == now.size && modifiedNs == now.modifiedNs);
}
