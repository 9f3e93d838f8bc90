#pragma once

#include <QByteArray>

#include <fcntl.h>

// How a folder is opened to be found by its identity, not read.
#ifdef O_PATH
inline constexpr int kFolderOpenFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
inline constexpr int kFolderOpenFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// An open descriptor, closed when the object goes away; moves, never copies.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    FileDescriptor(FileDescriptor &&other) noexcept;
    FileDescriptor &operator=(FileDescriptor &&other) noexcept;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    void reset(int fd = -1);

    // Opens a folder by an absolute path without following a link anywhere on the way,
    // for finding it by its identity rather than reading from it. A link on the way
    // fails with ELOOP; other failures leave the system's errno.
    static FileDescriptor openFolderWithoutLinks(const QByteArray &path);

    // For tests: walk the path name by name as on kernels without openat2.
    static void setSinglePassOpenAvailable(bool available);

private:
    int m_fd;
};
