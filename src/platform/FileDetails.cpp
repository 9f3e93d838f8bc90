#include "platform/FileDetails.h"

#include "platform/FileProperties.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

std::optional<QString> accountName(uid_t uid)
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
    struct passwd entry;
    struct passwd *found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::nullopt;
    return QString::fromLocal8Bit(found->pw_name);
}

} // namespace

std::optional<FileDetails> FileDetails::read(const QString &path)
{
    if (path.isEmpty())
        return std::nullopt;
    const QByteArray native = nativePath(path);
    FileDetails d;
#if defined(Q_OS_LINUX) && defined(STATX_BTIME)
    struct statx sx;
    if (::statx(AT_FDCWD, native.constData(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME,
                &sx) != 0)
        return std::nullopt;
    d.size = qint64(sx.stx_size);
    auto when = [](const struct statx_timestamp &t) {
        return QDateTime::fromMSecsSinceEpoch(qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000);
    };
    if (sx.stx_mask & STATX_BTIME)
        d.created = when(sx.stx_btime);
    if (sx.stx_mask & STATX_MTIME)
        d.modified = when(sx.stx_mtime);
    if (sx.stx_mask & STATX_UID)
        d.owner = accountName(sx.stx_uid);
#else
    struct stat st;
    if (::lstat(native.constData(), &st) != 0)
        return std::nullopt;
    d.size = st.st_size;
    d.modified = FileProperties::fromStat(st).modified;
#ifdef Q_OS_MACOS
    d.created = QDateTime::fromSecsSinceEpoch(st.st_birthtimespec.tv_sec);
#endif
    d.owner = accountName(st.st_uid);
#endif
    return d;
}
