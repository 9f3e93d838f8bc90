#include "platform/DirectoryReader.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

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
    if (!parent.m_dir) {
        m_error = EBADF;
        return false;
    }
    return adopt(::openat(::dirfd(parent.m_dir), name, kOpenFlags));
}

bool DirectoryReader::adopt(int fd)
{
    if (fd < 0) {
        m_error = errno;
        return false;
    }
    m_dir = ::fdopendir(fd);
    if (!m_dir) {
        m_error = errno;
        ::close(fd);
        return false;
    }
    m_error = 0;
    return true;
}

void DirectoryReader::close()
{
    if (m_dir)
        ::closedir(m_dir);
    m_dir = nullptr;
}

const char *DirectoryReader::next(Kind &hint)
{
    if (!m_dir)
        return nullptr;
    while (const struct dirent *e = ::readdir(m_dir)) {
        const char *n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
#ifdef _DIRENT_HAVE_D_TYPE
        switch (e->d_type) {
        case DT_DIR:
            hint = Kind::Directory;
            break;
        case DT_LNK:
            hint = Kind::SymLink;
            break;
        case DT_REG:
            hint = Kind::Regular;
            break;
        case DT_UNKNOWN:
            hint = Kind::Unknown;
            break;
        default:
            hint = Kind::Other;
            break;
        }
#else
        hint = Kind::Unknown;
#endif
        return n;
    }
    return nullptr;
}

bool DirectoryReader::statChild(const char *name, Node &node) const
{
    if (!m_dir)
        return false;
    struct stat st;
    if (::fstatat(::dirfd(m_dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    fill(st, node);
    return true;
}

std::optional<FileProperties> DirectoryReader::childProperties(const char *name) const
{
    struct stat st;
    if (!m_dir || ::fstatat(::dirfd(m_dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
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
    if (!m_dir || ::fstat(::dirfd(m_dir), &st) != 0)
        return false;
    fill(st, node);
    return true;
}
