#include "platform/Trash.h"

#include "platform/BytePath.h"
#include "platform/FileDescriptor.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"
#include "platform/MountTable.h"

#include <QDir>
#include <QFile>
#include <QMutex>

#include <atomic>
#include <optional>
#include <utility>
#include <vector>

#ifdef Q_OS_MACOS
#include <climits>
#include <fcntl.h>
#else
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

QMutex gMutex;
Trash::MountTopResolver gResolver;
std::atomic<bool> gNoReplaceAvailable{true};

bool isUnreserved(unsigned char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '-':
    case '_':
    case '.':
    case '!':
    case '~':
    case '*':
    case '\'':
    case '(':
    case ')':
        return true;
    default:
        return false;
    }
}

} // namespace

QString Trash::mountedFolderReason()
{
    return QStringLiteral("A mounted folder cannot be moved to the Trash");
}

QString Trash::homeTrashFolder()
{
    return QDir::cleanPath(Locations::current().trashFiles + "/..");
}

void Trash::setMountTopResolver(MountTopResolver resolver)
{
    QMutexLocker lock(&gMutex);
    gResolver = std::move(resolver);
}

void Trash::setNoReplaceRenameAvailable(bool available)
{
    gNoReplaceAvailable.store(available);
}

QByteArray Trash::encodeInfoPath(const QByteArray &path)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(path.size() * 3);
    for (const char c : path) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '/' || isUnreserved(b)) {
            out += c;
        } else {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 0x0F];
        }
    }
    return out;
}

QByteArray Trash::infoText(const QByteArray &path, const QDateTime &deletionDate)
{
    return QByteArrayLiteral("[Trash Info]\nPath=") + encodeInfoPath(path) +
           QByteArrayLiteral("\nDeletionDate=") +
           deletionDate.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")).toLatin1() + '\n';
}

#ifdef Q_OS_MACOS

Trash::Result Trash::moveToTrash(const QString &path)
{
    if (path.contains(QChar(0)))
        return {false, QStringLiteral("The path is not valid"), {}, {}};
    QFile file(path);
    if (!file.moveToTrash())
        return {false, file.errorString(), {}, {}};
    return {true, {}, file.fileName(), QFile::encodeName(file.fileName())};
}

Trash::Result Trash::moveNativeToTrash(const QByteArray &path)
{
    if (path.isEmpty() || path.contains('\0'))
        return {false, QStringLiteral("The path is not valid"), {}, {}};
    return moveToTrash(QFile::decodeName(path));
}

std::optional<QByteArray> Trash::openedFolderPath(int fd)
{
    char buffer[PATH_MAX];
    if (::fcntl(fd, F_GETPATH, buffer) != 0)
        return std::nullopt;
    return QByteArray(buffer);
}

Trash::Result Trash::moveChildToTrash(int parentFd, const QByteArray &name, const QByteArray &)
{
    const std::optional<QByteArray> folder = openedFolderPath(parentFd);
    if (!folder || name.isEmpty() || name.contains('/') || name.contains('\0'))
        return {false, QStringLiteral("The path is not valid"), {}, {}};
    return moveToTrash(QFile::decodeName(*folder == "/" ? '/' + name : *folder + '/' + name));
}

Trash::Result Trash::putBack(const Result &trashed, const QByteArray &destination,
                             const FileIdentity &)
{
    const QByteArray from = QFile::encodeName(trashed.trashedPath);
    if (!trashed.ok || from.isEmpty() || destination.isEmpty())
        return {false, QStringLiteral("The path is not valid"), {}, {}};
    if (::renamex_np(from.constData(), destination.constData(), RENAME_EXCL) != 0)
        return {false, QString::fromLocal8Bit(::strerror(errno)), {}, {}};
    return {true, {}, QFile::decodeName(destination), destination};
}

Trash::Emptied Trash::emptyHomeTrash()
{
    Emptied result;
    result.error = QStringLiteral("Empty the Trash from the Dock.");
    return result;
}

int Trash::homeTrashItemCount()
{
    return int(QDir(Locations::current().trashFiles)
                   .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)
                   .size());
}

#else

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace {

using BytePath::isSameOrInside;
using BytePath::parentOf;

constexpr int kMaxAttempts = 10000;
const QByteArray kInfoSuffix = QByteArrayLiteral(".trashinfo");

// The folders of one trash, held open so nothing below them can be swapped for a link.
struct TrashDir {
    QByteArray folder;
    FileDescriptor files;
    FileDescriptor info;
};

QString systemError(int err)
{
    char buffer[256];
    return QString::fromLocal8Bit(::strerror_r(err, buffer, sizeof buffer));
}

QString display(const QByteArray &path)
{
    return decodeNativePath(path.constData(), path.size());
}

Trash::Result failure(const QString &text)
{
    return {false, text, {}, {}};
}

// Absolute, with repeated slashes, "." and ".." folded; links are left alone. Empty
// when the current folder is unknown.
QByteArray cleanAbsolute(QByteArray path)
{
    if (!path.startsWith('/')) {
        char cwd[PATH_MAX];
        if (!::getcwd(cwd, sizeof cwd))
            return {};
        path = QByteArray(cwd) + '/' + path;
    }
    return BytePath::folded(path);
}

// The path with its longest existing part resolved; the rest is kept as written.
QByteArray resolveLoosely(const QByteArray &path)
{
    QByteArray head = path;
    QByteArray tail;
    for (;;) {
        if (const auto real = realPath(head))
            return tail.isEmpty() ? *real : BytePath::join(*real, tail);
        if (head == "/")
            return path;
        const QByteArray name = BytePath::lastName(head);
        tail = tail.isEmpty() ? name : name + '/' + tail;
        head = parentOf(head);
    }
}

QByteArray nearestExisting(QByteArray path)
{
    struct stat st;
    while (path != "/" && ::stat(path.constData(), &st) != 0)
        path = parentOf(path);
    return path;
}

// Walks up from an existing folder while the device stays the same.
QByteArray realMountTop(QByteArray folder)
{
    struct stat st;
    if (::stat(folder.constData(), &st) != 0)
        return {};
    while (folder != "/") {
        const QByteArray up = parentOf(folder);
        struct stat upSt;
        if (::stat(up.constData(), &upSt) != 0 || upSt.st_dev != st.st_dev)
            return folder;
        folder = up;
    }
    return folder;
}

QByteArray mountTopOf(const QByteArray &path, const QByteArray &existingFolder)
{
    Trash::MountTopResolver resolver;
    {
        QMutexLocker lock(&gMutex);
        resolver = gResolver;
    }
    if (resolver) {
        const QString top = resolver(display(path));
        if (!top.isEmpty())
            return cleanAbsolute(nativePath(top));
    }
    // A bind mount keeps the device number: the mount table knows it is a boundary.
    QByteArray top = realMountTop(existingFolder);
    for (const MountTable::Mount &m : MountTable::read()) {
        if (m.mountPoint.size() > top.size() && isSameOrInside(path, m.mountPoint))
            top = m.mountPoint;
    }
    return top;
}

bool isTopTrashName(const QByteArray &name)
{
    if (name == ".Trash")
        return true;
    if (!name.startsWith(".Trash-") || name.size() == 7)
        return false;
    for (qsizetype i = 7; i < name.size(); ++i) {
        if (name.at(i) < '0' || name.at(i) > '9')
            return false;
    }
    return true;
}

// Creates dir/name (mode 0700) when missing and opens it, never through a link.
// Returns why it cannot be used, or nothing.
QString openFolder(int dirFd, const QByteArray &name, const QByteArray &shownPath,
                   FileDescriptor &out)
{
    if (::mkdirat(dirFd, name.constData(), 0700) != 0 && errno != EEXIST)
        return systemError(errno);
    out = FileDescriptor(
        ::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (out.valid())
        return {};
    const int err = errno;
    struct stat st;
    if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
        return QStringLiteral("%1 is a symbolic link").arg(display(shownPath));
    return systemError(err);
}

// mkdir -p with mode 0700 for every folder it creates.
int makePath(const QByteArray &path)
{
    QByteArray current;
    for (const QByteArray &part : path.split('/')) {
        if (part.isEmpty())
            continue;
        current += '/' + part;
        if (::mkdir(current.constData(), 0700) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
}

QString openFilesAndInfo(int trashFd, const QByteArray &folder, TrashDir &out)
{
    for (const char *name : {"files", "info"}) {
        FileDescriptor &fd = name[0] == 'f' ? out.files : out.info;
        if (QString why = openFolder(trashFd, name, folder + '/' + name, fd); !why.isEmpty())
            return why;
    }
    out.folder = folder;
    return {};
}

QString openHomeTrash(const QByteArray &folder, TrashDir &out)
{
    if (const int err = makePath(folder))
        return systemError(err);
    const FileDescriptor dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid())
        return systemError(errno);
    return openFilesAndInfo(dir.get(), folder, out);
}

// A per-user trash folder at a mount's top: a real folder owned by the user, created
// when missing. Returns why it cannot be used, or nothing.
QString openOwnedFolder(int parentFd, const QByteArray &name, const QByteArray &shownPath,
                        FileDescriptor &out)
{
    if (QString why = openFolder(parentFd, name, shownPath, out); !why.isEmpty())
        return why;
    struct stat st;
    if (::fstat(out.get(), &st) != 0)
        return systemError(errno);
    if (st.st_uid != ::getuid())
        return QStringLiteral("%1 belongs to another user").arg(display(shownPath));
    return {};
}

// $top/.Trash/$uid when .Trash is a real folder with the sticky bit, else $top/.Trash-$uid.
QString openTopTrash(const QByteArray &top, TrashDir &out)
{
    const FileDescriptor topFd(::open(top.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!topFd.valid())
        return systemError(errno);
    const QByteArray uid = QByteArray::number(::getuid());

    // Anyone may have planted .Trash: only a real sticky folder is trusted.
    const FileDescriptor shared(
        ::openat(topFd.get(), ".Trash", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (shared.valid() && ::fstat(shared.get(), &st) == 0 && (st.st_mode & S_ISVTX)) {
        const QByteArray folder = BytePath::join(top, ".Trash/" + uid);
        FileDescriptor own;
        if (openOwnedFolder(shared.get(), uid, folder, own).isEmpty() &&
            openFilesAndInfo(own.get(), folder, out).isEmpty())
            return {};
    }

    const QByteArray folder = BytePath::join(top, ".Trash-" + uid);
    FileDescriptor own;
    QString why = openOwnedFolder(topFd.get(), ".Trash-" + uid, folder, own);
    if (why.isEmpty())
        why = openFilesAndInfo(own.get(), folder, out);
    return why;
}

// Cuts a name to at most max bytes without splitting a UTF-8 sequence.
QByteArray shortened(const QByteArray &name, qsizetype max)
{
    if (name.size() <= max)
        return name;
    qsizetype n = max;
    while (n > 0 && (static_cast<unsigned char>(name.at(n)) & 0xC0) == 0x80)
        --n;
    return name.left(n > 0 ? n : max);
}

int writeAll(int fd, const QByteArray &data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += n;
    }
    return 0;
}

int renameNoReplace(int oldDir, const QByteArray &oldName, int newDir, const QByteArray &newName)
{
    if (gNoReplaceAvailable.load()) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 28))
        const int r =
            ::renameat2(oldDir, oldName.constData(), newDir, newName.constData(), RENAME_NOREPLACE);
#else
        const int r = int(::syscall(SYS_renameat2, oldDir, oldName.constData(), newDir,
                                    newName.constData(), RENAME_NOREPLACE));
#endif
        if (r == 0)
            return 0;
        // EINVAL is also "a folder into itself"; the plain rename below says the same.
        if (errno != EINVAL && errno != ENOSYS)
            return errno;
    }
    // The file system cannot refuse to replace, so look first. The info file made with
    // O_EXCL already reserves the name against other trash writers; only a stray item
    // appearing in files/ between the look and the rename could be replaced.
    struct stat st;
    if (::fstatat(newDir, newName.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    if (errno != ENOENT)
        return errno;
    return ::renameat(oldDir, oldName.constData(), newDir, newName.constData()) == 0 ? 0 : errno;
}

// Writes the info file first, then renames the item under the same name; a taken name
// moves on to name.2, name.3, …, a name too long for the file system is shortened.
Trash::Result placeItem(int sourceDir, const QByteArray &sourceName, TrashDir &trash,
                        const QByteArray &infoPath)
{
    const QByteArray text = Trash::infoText(infoPath, QDateTime::currentDateTime());
    long nameMax = ::fpathconf(trash.info.get(), _PC_NAME_MAX);
    if (nameMax <= 0)
        nameMax = NAME_MAX;
    const qsizetype reportedLimit = qsizetype(nameMax) - kInfoSuffix.size();
    qsizetype limit = sourceName.size() + 16; // no cut until the file system refuses
    int number = 1;
    for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
        const QByteArray suffix = number == 1 ? QByteArray() : '.' + QByteArray::number(number);
        if (limit - suffix.size() < 1)
            return failure(systemError(ENAMETOOLONG));
        const QByteArray name = shortened(sourceName, limit - suffix.size()) + suffix;
        const QByteArray infoName = name + kInfoSuffix;
        const int fd = ::openat(trash.info.get(), infoName.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            const int err = errno;
            if (err == EEXIST) {
                ++number;
                continue;
            }
            if (err == ENAMETOOLONG) {
                // Some file systems allow less than they report: keep cutting.
                limit = name.size() > reportedLimit ? reportedLimit : name.size() * 3 / 4;
                continue;
            }
            return failure(systemError(err));
        }
        int err = writeAll(fd, text);
        if (!err && ::fsync(fd) != 0)
            err = errno;
        if (::close(fd) != 0 && !err)
            err = errno;
        if (!err)
            err = renameNoReplace(sourceDir, sourceName, trash.files.get(), name);
        if (!err) {
            const QByteArray placed = trash.folder + "/files/" + name;
            return {true, {}, display(placed), placed};
        }
        // Our own info file: it must not outlive a move that did not happen.
        ::unlinkat(trash.info.get(), infoName.constData(), 0);
        if (err == EXDEV) // the item lies on another mount than the trash
            return failure(Trash::mountedFolderReason());
        if (err == EEXIST) { // a stray item in files/ without an info file
            ++number;
            continue;
        }
        return failure(systemError(err));
    }
    return failure(QStringLiteral("Too many items with this name are in the Trash"));
}

} // namespace

std::optional<QByteArray> Trash::openedFolderPath(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_nlink == 0)
        return std::nullopt; // a removed folder reads back as "… (deleted)"
    char buffer[PATH_MAX];
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    const ssize_t n = ::readlink(link.constData(), buffer, sizeof buffer);
    if (n <= 0 || n >= ssize_t(sizeof buffer) || buffer[0] != '/')
        return std::nullopt;
    return QByteArray(buffer, n);
}

Trash::Result Trash::moveToTrash(const QString &path)
{
    const QByteArray bytes = nativePath(path);
    // A name the text cannot stand for exactly would move some other item.
    if (path.contains(QChar(0)) || decodeNativePath(bytes.constData(), bytes.size()) != path)
        return failure(QStringLiteral("The item's name cannot be passed on exactly"));
    return moveNativeToTrash(bytes);
}

Trash::Result Trash::moveNativeToTrash(const QByteArray &rawPath)
{
    if (rawPath.isEmpty())
        return failure(systemError(ENOENT));
    // Every system call stops at a NUL: the rest of the path would be ignored.
    if (rawPath.contains('\0'))
        return failure(QStringLiteral("The path holds a NUL character"));
    const QByteArray path = cleanAbsolute(rawPath);
    if (path.isEmpty())
        return failure(systemError(errno));
    if (path == "/")
        return failure(QStringLiteral("The root folder cannot be moved to the Trash"));

    const QByteArray parent = parentOf(path);
    const QByteArray name = BytePath::lastName(path);
    const FileDescriptor parentFd(::open(parent.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!parentFd.valid())
        return failure(systemError(errno));
    return moveChildToTrash(parentFd.get(), name);
}

Trash::Result Trash::moveChildToTrash(int parentFd, const QByteArray &name,
                                      const QByteArray &recordedAs)
{
    if (name.isEmpty() || name == "." || name == ".." || name.contains('/') || name.contains('\0'))
        return failure(QStringLiteral("The path is not valid"));
    // The item itself, never a link's target.
    struct stat item;
    if (::fstatat(parentFd, name.constData(), &item, AT_SYMLINK_NOFOLLOW) != 0)
        return failure(systemError(errno));
    struct stat parentSt;
    if (::fstat(parentFd, &parentSt) == 0 && parentSt.st_dev != item.st_dev)
        return failure(mountedFolderReason());
    const std::optional<QByteArray> realParent = openedFolderPath(parentFd);
    if (!realParent)
        return failure(QStringLiteral("Cannot tell where the item's folder is"));
    const QByteArray resolved = BytePath::join(*realParent, name);

    // Renaming a folder takes every mount below it along, and emptying the Trash would
    // then delete the mounted files. A bind mount keeps the device number.
    const QList<MountTable::Mount> mounts = MountTable::read();
    if (MountTable::isMountPoint(resolved, mounts) ||
        !MountTable::mountsBelow(resolved, mounts).isEmpty())
        return failure(mountedFolderReason());

    const QByteArray home = resolveLoosely(cleanAbsolute(nativePath(homeTrashFolder())));
    if (isSameOrInside(resolved, home))
        return failure(QStringLiteral("The item is already in the Trash"));
    if (isSameOrInside(home, resolved))
        return failure(QStringLiteral("The item holds the Trash folder"));

    const QByteArray top = mountTopOf(resolved, *realParent);
    if (resolved == top)
        return failure(mountedFolderReason());
    if (top.isEmpty() || !isSameOrInside(resolved, top))
        return failure(QStringLiteral("Cannot tell which volume holds the item"));
    const auto inTop = [&top](const QByteArray &path) {
        return top == "/" ? path.mid(1) : path.mid(top.size() + 1);
    };
    const QByteArray relative = inTop(resolved);
    const qsizetype slash = relative.indexOf('/');
    if (isTopTrashName(slash < 0 ? relative : relative.left(slash)))
        return failure(QStringLiteral("The item is already in the Trash"));
    QByteArray recorded = resolved;
    if (!recordedAs.isEmpty() && !recordedAs.contains('\0')) {
        const QByteArray origin = resolveLoosely(cleanAbsolute(recordedAs));
        if (origin != top && isSameOrInside(origin, top))
            recorded = origin;
    }

    TrashDir trash;
    if (top == mountTopOf(home, nearestExisting(home))) {
        if (const QString why = openHomeTrash(home, trash); !why.isEmpty())
            return failure(why);
        return placeItem(parentFd, name, trash, recorded);
    }
    // Another file system: its own trash or nothing; never a copy.
    if (const QString why = openTopTrash(top, trash); !why.isEmpty())
        return failure(QStringLiteral("The volume at %1 has no usable Trash folder: %2")
                           .arg(display(top), why));
    return placeItem(parentFd, name, trash, inTop(recorded));
}

Trash::Result Trash::putBack(const Result &trashed, const QByteArray &destination,
                             const FileIdentity &expected)
{
    const bool exact = !trashed.trashedNativePath.isEmpty();
    const QByteArray from = exact ? trashed.trashedNativePath : nativePath(trashed.trashedPath);
    if (!trashed.ok || (!exact && display(from) != trashed.trashedPath) || destination.isEmpty() ||
        destination.contains('\0'))
        return failure(QStringLiteral("The path is not valid"));
    const QByteArray name = BytePath::lastName(from);
    const QByteArray filesFolder = parentOf(from);
    if (!filesFolder.endsWith("/files") || name.isEmpty() || name == "." || name == "..")
        return failure(QStringLiteral("The item is not in a Trash folder"));
    const QByteArray trashFolder = parentOf(filesFolder);
    const FileDescriptor trash = FileDescriptor::openFolderWithoutLinks(trashFolder);
    if (!trash.valid())
        return failure(errno == ELOOP ? QStringLiteral("A link stands on the way to the Trash "
                                                       "folder %1")
                                            .arg(display(trashFolder))
                                      : systemError(errno));
    FileDescriptor files, info;
    for (auto [folder, fd] : {std::pair{"files", &files}, std::pair{"info", &info}}) {
        *fd = FileDescriptor(
            ::openat(trash.get(), folder, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd->valid())
            return failure(systemError(errno));
    }
    const std::optional<FileIdentity> inTrash = FileIdentity::readAt(files.get(), name);
    if (!inTrash)
        return failure(QStringLiteral("The item is no longer in the Trash"));
    if (!expected.isNull() && !expected.matches(*inTrash))
        return failure(QStringLiteral("The item in the Trash is not the one moved there"));

    const QByteArray target = cleanAbsolute(destination);
    if (target.isEmpty() || target == "/")
        return failure(QStringLiteral("The path is not valid"));
    const QByteArray targetFolder = parentOf(target);
    const FileDescriptor into = FileDescriptor::openFolderWithoutLinks(targetFolder);
    if (!into.valid()) {
        const int err = errno;
        if (err == ELOOP)
            return failure(
                QStringLiteral("A link now stands on the way to %1").arg(display(targetFolder)));
        if (err == ENOENT || err == ENOTDIR)
            return failure(
                QStringLiteral("The folder it was in, %1, is gone").arg(display(targetFolder)));
        return failure(systemError(err));
    }
    const QByteArray targetName = BytePath::lastName(target);
    if (const int err = renameNoReplace(files.get(), name, into.get(), targetName)) {
        if (err == EEXIST || err == ENOTEMPTY)
            return failure(QStringLiteral("Something else is now at %1; it was left as it is")
                               .arg(display(target)));
        return failure(systemError(err));
    }
    // The record names nothing now; a Trash viewer would list a ghost.
    ::unlinkat(info.get(), (name + kInfoSuffix).constData(), 0);
    return {true, {}, display(target), target};
}

namespace {

// Removes a name below an open folder and everything inside it, reaching each folder only
// through its parent's descriptor; returns how many names stayed.
int removeTree(int parentFd, const char *name, int depth)
{
    if (::unlinkat(parentFd, name, 0) == 0)
        return 0;
    if (errno != EISDIR && errno != EPERM)
        return errno == ENOENT ? 0 : 1;
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 || depth > 4096) {
        if (fd >= 0)
            ::close(fd);
        return 1;
    }
    int failed = 0;
    if (DIR *dir = ::fdopendir(fd)) {
        std::vector<QByteArray> names;
        while (const dirent *e = ::readdir(dir))
            if (qstrcmp(e->d_name, ".") != 0 && qstrcmp(e->d_name, "..") != 0)
                names.emplace_back(e->d_name);
        for (const QByteArray &child : names)
            failed += removeTree(::dirfd(dir), child.constData(), depth + 1);
        ::closedir(dir);
    } else {
        ::close(fd);
        return 1;
    }
    if (::unlinkat(parentFd, name, AT_REMOVEDIR) != 0 && errno != ENOENT)
        ++failed;
    return failed;
}

std::vector<QByteArray> namesIn(int folderFd)
{
    std::vector<QByteArray> names;
    const int fd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return names;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return names;
    }
    while (const dirent *e = ::readdir(dir))
        if (qstrcmp(e->d_name, ".") != 0 && qstrcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
    ::closedir(dir);
    return names;
}

} // namespace

Trash::Emptied Trash::emptyHomeTrash()
{
    Emptied result;
    TrashDir trash;
    if (QString why = openHomeTrash(nativePath(homeTrashFolder()), trash); !why.isEmpty()) {
        result.error = why;
        return result;
    }
    for (const QByteArray &name : namesIn(trash.files.get())) {
        const int failed = removeTree(trash.files.get(), name.constData(), 0);
        if (failed > 0) {
            ++result.failed;
            continue;
        }
        ++result.removed;
        ::unlinkat(trash.info.get(), (name + kInfoSuffix).constData(), 0);
    }
    // Records whose item is gone name nothing.
    for (const QByteArray &info : namesIn(trash.info.get())) {
        if (!info.endsWith(kInfoSuffix))
            continue;
        struct stat st;
        const QByteArray item = info.chopped(kInfoSuffix.size());
        if (::fstatat(trash.files.get(), item.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 &&
            errno == ENOENT)
            ::unlinkat(trash.info.get(), info.constData(), 0);
    }
    return result;
}

int Trash::homeTrashItemCount()
{
    const FileDescriptor files(
        ::open(nativePath(homeTrashFolder() + QStringLiteral("/files")).constData(),
               O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return files.valid() ? int(namesIn(files.get()).size()) : 0;
}

#endif
