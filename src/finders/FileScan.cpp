#include "finders/FileScan.h"

#include "platform/FileProperties.h"

#include <algorithm>
#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Folders this deep or less keep their descriptor while their subfolders are walked;
// deeper ones let go of it and find their way back through "..", so depth never runs
// into the limit of open files.
constexpr int kHeldLevels = 128;
constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

struct Entry {
    QByteArray name;
    bool isDirectory = false;
    bool isRegularFile = false;
    qint64 size = 0;
};

struct Walk {
    const CancelToken &cancel;
    const QList<QByteArray> &skipped;
    QList<FileScan::SizedPath> files;
    bool stopped() const { return cancel.isCancelled(); }
};

// Every child of the open folder, read through a descriptor of its own.
QList<Entry> listAll(int fd)
{
    QList<Entry> entries;
    const int own = ::openat(fd, ".", kDirFlags);
    DIR *dir = own >= 0 ? ::fdopendir(own) : nullptr;
    if (!dir) {
        if (own >= 0)
            ::close(own);
        return entries;
    }
    while (const struct dirent *e = ::readdir(dir)) {
        const char *n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        struct stat st;
        if (::fstatat(fd, n, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        entries.append(
            {QByteArray(n), S_ISDIR(st.st_mode), S_ISREG(st.st_mode), qint64(st.st_size)});
    }
    ::closedir(dir);
    return entries;
}

// Walks the folder open at `fd` (named `path`). Returns a descriptor of that folder when
// done: `fd` itself, or a reopened one when the folder let go of it; -1 when the way back
// was lost (the tree changed under the walk), which ends the walk of the ancestors too.
int walkFolder(Walk &walk, int fd, const QByteArray &path, int depth)
{
    if (walk.stopped())
        return fd;
    struct stat self;
    if (::fstat(fd, &self) != 0)
        return fd;
    const QList<Entry> entries = listAll(fd);
    for (const Entry &e : entries) {
        const QByteArray childPath = path + '/' + e.name;
        if (e.isRegularFile)
            walk.files.append(
                {decodeNativePath(childPath.constData(), childPath.size()), e.size, childPath});
    }
    for (const Entry &e : entries) {
        if (!e.isDirectory || walk.stopped() || walk.skipped.contains(path + '/' + e.name))
            continue;
        const int child = ::openat(fd, e.name.constData(), kDirFlags);
        if (child < 0)
            continue;
        const bool letGo = depth >= kHeldLevels;
        if (letGo) {
            ::close(fd);
            fd = -1;
        }
        const int back = walkFolder(walk, child, path + '/' + e.name, depth + 1);
        if (back < 0) {
            if (fd >= 0)
                ::close(fd);
            return -1;
        }
        if (letGo) {
            fd = ::openat(back, "..", kDirFlags);
            struct stat again;
            if (fd >= 0 && (::fstat(fd, &again) != 0 || again.st_dev != self.st_dev ||
                            again.st_ino != self.st_ino)) {
                ::close(fd);
                fd = -1;
            }
        }
        ::close(back);
        if (fd < 0)
            return -1;
    }
    return fd;
}

} // namespace

QList<FileScan::SizedPath> FileScan::largestFiles(const QString &folder, int limit,
                                                  const CancelToken &cancel,
                                                  const QList<QByteArray> &skipped)
{
    if (folder.isEmpty() || limit <= 0)
        return {};
    QByteArray root = nativePath(folder);
    // The folder the user named may itself be a link: follow that one.
    const int fd = ::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return {};
    while (root.size() > 1 && root.endsWith('/'))
        root.chop(1);
    if (root == "/")
        root.clear();
    Walk walk{cancel, skipped, {}};
    const int back = walkFolder(walk, fd, root, 0);
    if (back >= 0)
        ::close(back);
    if (walk.stopped())
        return {};
    QList<SizedPath> &files = walk.files;
    std::stable_sort(files.begin(), files.end(),
                     [](const SizedPath &a, const SizedPath &b) { return a.bytes > b.bytes; });
    if (files.size() > limit)
        files.resize(limit);
    return files;
}

QString FileScan::modifiedDay(const QString &path)
{
    const auto p = FileProperties::read(path);
    if (!p || !p->modified.isValid())
        return {};
    return p->modified.toLocalTime().toString(QStringLiteral("yyyy-MM-dd"));
}
