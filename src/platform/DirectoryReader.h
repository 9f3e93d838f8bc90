#pragma once

#include <optional>

#include "platform/FileProperties.h"

#include <QtGlobal>

#include <dirent.h>

#include <memory>

// Lists one open folder by byte names and reads its children without following
// symbolic links. Children are reached relative to the open folder (openat/fstatat),
// so deep trees never rebuild full paths and names that are not valid UTF-8 are read
// like any other. Nothing here allocates per entry; one reader reused for many folders
// keeps its listing buffer.
class DirectoryReader {
public:
    enum class Kind : quint8 { Unknown, Directory, SymLink, Regular, Other };

    struct Node {
        Kind kind = Kind::Unknown;
        qint64 allocatedBytes = 0; // blocks × 512
        quint64 linkCount = 0;
        FileId id;
        qint64 size = 0;       // bytes
        qint64 modifiedNs = 0; // since the epoch

        FileIdentity identity() const
        {
            return {id.device, id.inode, size, modifiedNs, kind == Kind::Directory};
        }
    };

    DirectoryReader() = default;
    ~DirectoryReader() { close(); }
    DirectoryReader(const DirectoryReader &) = delete;
    DirectoryReader &operator=(const DirectoryReader &) = delete;

    // Opens a folder by path; a final symbolic link is not followed unless asked. On
    // failure error() holds the errno value.
    bool open(const char *path, bool followFinalLink = false);
    // Opens the child folder `name` of the open folder `parent`.
    bool openChild(const DirectoryReader &parent, const char *name);
    // Opens the child folder `name` of an open folder descriptor.
    bool openAt(int folderFd, const char *name);
    // Hands the open folder's descriptor over to the caller, who closes it; the reader
    // is closed.
    int takeDescriptor();
    void close();
    bool isOpen() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    int error() const { return m_error; }

    // The next child's name (never "." or ".."), valid until the next call, or nullptr
    // at the end. `hint` is the listing's own type, Unknown when the file system does
    // not give one; a hint of Directory or SymLink can be trusted without a stat.
    const char *next(Kind &hint);

    // lstat of a child of this open folder.
    bool statChild(const char *name, Node &node) const;
    // Everything lstat says of a child of this open folder.
    std::optional<FileProperties> childProperties(const char *name) const;
    // lstat of a path.
    static bool statPath(const char *path, Node &node);
    // How many blocks the calling thread has had read from a disk so far; nothing where
    // the system does not count them per thread.
    static std::optional<quint64> diskReadsOfThisThread();

    // Like open(), also for paths longer than the system's limit: those are reached in
    // pieces from shallower folders, holding at most two descriptors at a time.
    bool openAnyLength(const char *path, size_t length);
    // fstat of the open folder itself.
    bool statSelf(Node &node) const;

private:
    // Takes over an open folder descriptor (or a failed open's -1).
    bool adopt(int fd);

    int m_fd = -1;
    int m_error = 0;
#ifdef __linux__
    // Raw listing: opendir would cost two fcntl calls and an fstat per folder.
    std::unique_ptr<char[]> m_buffer;
    size_t m_filled = 0;
    size_t m_offset = 0;
    bool m_ended = false;
#else
    DIR *m_dir = nullptr;
#endif
};
