#include "platform/FileDescriptor.h"

#include <atomic>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/openat2.h>
#include <sys/syscall.h>
#endif

namespace {

std::atomic<bool> gSinglePass{true};

// The folder `name` of an open folder, itself not a link.
int openChildFolder(int folderFd, const QByteArray &name)
{
    const int fd = ::openat(folderFd, name.constData(), kFolderOpenFlags | O_NOFOLLOW);
    if (fd >= 0)
        return fd;
    const int err = errno;
    // O_PATH with O_NOFOLLOW says ENOTDIR for a link: tell it apart.
    struct stat st;
    const bool link =
        ::fstatat(folderFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
    errno = link ? ELOOP : err;
    return -1;
}

} // namespace

FileDescriptor::FileDescriptor(FileDescriptor &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
{
}

FileDescriptor &FileDescriptor::operator=(FileDescriptor &&other) noexcept
{
    if (this != &other)
        reset(std::exchange(other.m_fd, -1));
    return *this;
}

void FileDescriptor::reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

void FileDescriptor::setSinglePassOpenAvailable(bool available)
{
    gSinglePass.store(available);
}

FileDescriptor FileDescriptor::openFolderWithoutLinks(const QByteArray &path)
{
    if (!path.startsWith('/') || path.contains('\0')) {
        errno = EINVAL;
        return FileDescriptor();
    }
#ifdef __linux__
    if (gSinglePass.load()) {
        open_how how{};
        how.flags = kFolderOpenFlags;
        how.resolve = RESOLVE_NO_SYMLINKS;
        const int fd = int(::syscall(SYS_openat2, AT_FDCWD, path.constData(), &how, sizeof how));
        if (fd >= 0)
            return FileDescriptor(fd);
        if (errno != ENOSYS && errno != EPERM) // EPERM: a sandbox that filters it
            return FileDescriptor();
    }
#endif
    FileDescriptor folder(::open("/", kFolderOpenFlags));
    for (const QByteArray &name : path.split('/')) {
        if (!folder.valid())
            break;
        if (name.isEmpty() || name == ".")
            continue;
        if (name == "..") { // never in a resolved path
            errno = EINVAL;
            return FileDescriptor();
        }
        folder = FileDescriptor(openChildFolder(folder.get(), name));
    }
    return folder;
}
