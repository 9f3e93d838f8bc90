#include "platform/ReadOnlyFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_id(other.m_id), m_size(other.m_size)
{
}

ReadOnlyFile &ReadOnlyFile::operator=(ReadOnlyFile &&other) noexcept
{
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_id = other.m_id;
        m_size = other.m_size;
    }
    return *this;
}

bool ReadOnlyFile::open(const QString &path, bool followFinalLink)
{
    return openNative(nativePath(path), followFinalLink);
}

bool ReadOnlyFile::openNative(const QByteArray &path, bool followFinalLink)
{
    close();
    if (path.isEmpty() || path.contains('\0'))
        return false;
    // O_NONBLOCK: opening a FIFO must not wait for a writer before fstat can refuse it.
    const int fd = ::open(path.constData(),
                          O_RDONLY | (followFinalLink ? 0 : O_NOFOLLOW) | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_id = FileId{quint64(st.st_dev), quint64(st.st_ino)};
    m_size = st.st_size;
    return true;
}

void ReadOnlyFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

qint64 ReadOnlyFile::readAt(qint64 offset, char *buffer, qint64 length)
{
    if (m_fd < 0)
        return -1;
    qint64 done = 0;
    while (done < length) {
        const ssize_t n = ::pread(m_fd, buffer + done, size_t(length - done), off_t(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

void ReadOnlyFile::adviseSequential()
{
#ifdef POSIX_FADV_SEQUENTIAL
    if (m_fd >= 0)
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
}
