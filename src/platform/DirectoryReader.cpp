#include "platform/DirectoryReader.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// Large enough that most folders list in one call, small enough for a reader per thread.
[[maybe_unused]] constexpr size_t kBufferSize = 32 * 1024;

void fill(const struct stat &st, DirectoryReader::Node &node)
{
    using Kind = DirectoryReader::Kind;
    if (S_ISDIR(st.st_mode))
        node.kind = Kind::Directory;
    else if (S_ISLNK(st.st_mode))
        node.kind = Kind::SymLink;
    else if (S_ISREG(st.st_mode))
        node.kind = Kind::Regular;
    else
        node.kind = Kind::Other;
    node.allocatedBytes = qint64(st.st_blocks) * 512;
    node.linkCount = quint64(st.st_nlink);
    node.id = FileId{quint64(st.st_dev), quint64(st.st_ino)};
    const FileIdentity identity = FileIdentity::fromStat(st);
    node.size = identity.size;
    node.modifiedNs = identity.modifiedNs;
}

} // namespace

bool DirectoryReader::open(const char *path, bool followFinalLink)
{
    close();
    return adopt(::open(path, followFinalLink ? kOpenFlags & ~O_NOFOLLOW : kOpenFlags));
}

bool DirectoryReader::openChild(const DirectoryReader &parent, const char *name)
{
    close();
    if (parent.m_fd < 0) {
        m_error = EBADF;
        return false;
    }
    return adopt(::openat(parent.m_fd, name, kOpenFlags));
}

bool DirectoryReader::openAt(int folderFd, const char *name)
{
    close();
    return adopt(::openat(folderFd, name, kOpenFlags));
}

int DirectoryReader::takeDescriptor()
{
    const int fd = m_fd;
#ifndef __linux__
    // The listing's stream owns the descriptor: hand over a copy.
    const int copy = fd >= 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
    close();
    return copy;
#else
    m_fd = -1;
    return fd;
#endif
}

bool DirectoryReader::adopt(int fd)
{
    if (fd < 0) {
        m_error = errno;
        return false;
    }
#ifdef __linux__
    if (!m_buffer)
        m_buffer.reset(new char[kBufferSize]);
    m_filled = 0;
    m_offset = 0;
    m_ended = false;
#else
    m_dir = ::fdopendir(fd);
    if (!m_dir) {
        m_error = errno;
        ::close(fd);
        return false;
    }
#endif
    m_fd = fd;
    m_error = 0;
    return true;
}

void DirectoryReader::close()
{
#ifdef __linux__
    if (m_fd >= 0)
        ::close(m_fd);
#else
    if (m_dir)
        ::closedir(m_dir);
    m_dir = nullptr;
#endif
    m_fd = -1;
}

namespace {

DirectoryReader::Kind kindOf(unsigned char type)
{
    using Kind = DirectoryReader::Kind;
#ifdef _DIRENT_HAVE_D_TYPE
    switch (type) {
    case DT_DIR:
        return Kind::Directory;
    case DT_LNK:
        return Kind::SymLink;
    case DT_REG:
        return Kind::Regular;
    case DT_UNKNOWN:
        return Kind::Unknown;
    default:
        return Kind::Other;
    }
#else
    Q_UNUSED(type);
    return Kind::Unknown;
#endif
}

bool isDotOrDotDot(const char *n)
{
    return n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0));
}

} // namespace

const char *DirectoryReader::next(Kind &hint)
{
    if (m_fd < 0)
        return nullptr;
#ifdef __linux__
    for (;;) {
        if (m_offset >= m_filled) {
            if (m_ended)
                return nullptr;
            const ssize_t n = ::getdents64(m_fd, m_buffer.get(), kBufferSize);
            if (n <= 0) {
                // An error ends the listing, as readdir's does.
                m_ended = true;
                return nullptr;
            }
            m_filled = size_t(n);
            m_offset = 0;
        }
        const auto *e = reinterpret_cast<const struct dirent64 *>(m_buffer.get() + m_offset);
        m_offset += e->d_reclen;
        if (isDotOrDotDot(e->d_name))
            continue;
        hint = kindOf(e->d_type);
        return e->d_name;
    }
#else
    while (const struct dirent *e = ::readdir(m_dir)) {
        if (isDotOrDotDot(e->d_name))
            continue;
        hint = kindOf(e->d_type);
        return e->d_name;
    }
    return nullptr;
#endif
}

bool DirectoryReader::statChild(const char *name, Node &node) const
{
    if (m_fd < 0)
        return false;
    struct stat st;
    if (::fstatat(m_fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    fill(st, node);
    return true;
}

std::optional<FileProperties> DirectoryReader::childProperties(const char *name) const
{
    struct stat st;
    if (m_fd < 0 || ::fstatat(m_fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return FileProperties::fromStat(st);
}

bool DirectoryReader::statPath(const char *path, Node &node)
{
    struct stat st;
    if (::lstat(path, &st) != 0)
        return false;
    fill(st, node);
    return true;
}

bool DirectoryReader::openAnyLength(const char *path, size_t length)
{
    if (length < PATH_MAX)
        return open(path);
    close();
    int base = AT_FDCWD;
    size_t pos = 0;
    while (length - pos >= PATH_MAX) {
        // Cut at the last separator that keeps the piece under the limit.
        size_t cut = pos + PATH_MAX - 2;
        while (cut > pos && path[cut] != '/')
            --cut;
        if (cut == pos) {
            if (base != AT_FDCWD)
                ::close(base);
            m_error = ENAMETOOLONG;
            return false;
        }
        const std::string piece(path + pos, cut - pos);
        const int fd = ::openat(base, piece.c_str(), kOpenFlags);
        const int error = errno;
        if (base != AT_FDCWD)
            ::close(base);
        if (fd < 0) {
            m_error = error;
            return false;
        }
        base = fd;
        pos = cut + 1;
    }
    const int fd = ::openat(base, path + pos, kOpenFlags);
    const int error = errno;
    if (base != AT_FDCWD)
        ::close(base);
    errno = error;
    return adopt(fd);
}

bool DirectoryReader::statSelf(Node &node) const
{
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
        return false;
    fill(st, node);
    return true;
}

std::optional<quint64> DirectoryReader::diskReadsOfThisThread()
{
#ifdef RUSAGE_THREAD
    rusage usage{};
    if (::getrusage(RUSAGE_THREAD, &usage) == 0)
        return quint64(usage.ru_inblock);
#endif
    return std::nullopt;
}
