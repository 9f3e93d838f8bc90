#include "platform/FileProperties.h"

#include <QFile>

#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

FileProperties FileProperties::fromStat(const struct stat &st)
{
    FileProperties p;
    p.isDirectory = S_ISDIR(st.st_mode);
    p.isSymLink = S_ISLNK(st.st_mode);
    p.isRegularFile = S_ISREG(st.st_mode);
    p.fileSize = st.st_size;
    p.allocatedBytes = qint64(st.st_blocks) * 512;
    p.linkCount = st.st_nlink;
    p.id = FileId{quint64(st.st_dev), quint64(st.st_ino)};
    p.identity = FileIdentity::fromStat(st);
    // In UTC: a local date costs a time-zone lookup each, more than the lstat itself in a
    // walk. Shown dates go through toLocalTime().
#ifdef Q_OS_MACOS
    p.modified = QDateTime::fromSecsSinceEpoch(st.st_mtimespec.tv_sec, Qt::UTC);
    p.accessed = QDateTime::fromSecsSinceEpoch(st.st_atimespec.tv_sec, Qt::UTC);
#else
    p.modified = QDateTime::fromMSecsSinceEpoch(
        qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000, Qt::UTC);
    p.accessed = QDateTime::fromMSecsSinceEpoch(
        qint64(st.st_atim.tv_sec) * 1000 + st.st_atim.tv_nsec / 1000000, Qt::UTC);
#endif
    return p;
}

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(path);
}

QString decodeNativePath(const char *bytes, qsizetype length)
{
    return QString::fromUtf8(bytes, length < 0 ? qsizetype(qstrlen(bytes)) : length);
}

std::optional<QByteArray> realPath(const QByteArray &path)
{
    char *resolved = ::realpath(path.constData(), nullptr);
    if (!resolved)
        return std::nullopt;
    QByteArray out(resolved);
    ::free(resolved);
    return out;
}

std::optional<FileProperties> FileProperties::read(const QString &path)
{
    struct stat st;
    if (path.isEmpty() || ::lstat(nativePath(path).constData(), &st) != 0)
        return std::nullopt;
    return fromStat(st);
}

std::optional<FileProperties> FileProperties::readFollowingLinks(const QString &path)
{
    struct stat st;
    if (path.isEmpty() || ::stat(nativePath(path).constData(), &st) != 0)
        return std::nullopt;
    return fromStat(st);
}

bool FileProperties::exists(const QString &path)
{
    return read(path).has_value();
}

bool FileProperties::isExecutable(const QString &path)
{
    const auto p = readFollowingLinks(path);
    return p && p->isRegularFile && ::access(nativePath(path).constData(), X_OK) == 0;
}

QString FileProperties::linkTarget(const QString &path)
{
    char buffer[4096];
    const ssize_t n = ::readlink(nativePath(path).constData(), buffer, sizeof buffer);
    if (n <= 0)
        return {};
    return decodeNativePath(buffer, n);
}

std::optional<QStringList> FileProperties::listNames(const QString &folder)
{
    DIR *dir = ::opendir(nativePath(folder).constData());
    if (!dir)
        return std::nullopt;
    QStringList names;
    while (struct dirent *e = ::readdir(dir)) {
        const char *n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        names.append(decodeNativePath(n));
    }
    ::closedir(dir);
    return names;
}
