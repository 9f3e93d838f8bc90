#pragma once

#include "platform/FileProperties.h"

#include <QString>

// One regular file opened for reading, closed when the object goes away. Opening follows
// no final link unless asked and refuses anything that is not a regular file, so a FIFO
// or a device in a listing can neither block nor be read.
class ReadOnlyFile {
public:
    ReadOnlyFile() = default;
    ~ReadOnlyFile() { close(); }
    ReadOnlyFile(const ReadOnlyFile &) = delete;
    ReadOnlyFile &operator=(const ReadOnlyFile &) = delete;
    ReadOnlyFile(ReadOnlyFile &&other) noexcept;
    ReadOnlyFile &operator=(ReadOnlyFile &&other) noexcept;

    bool open(const QString &path, bool followFinalLink = false);
    // The same for a path given as the file system's bytes.
    bool openNative(const QByteArray &path, bool followFinalLink = false);
    void close();
    bool isOpen() const { return m_fd >= 0; }

    // What fstat said at opening time.
    FileId id() const { return m_id; }
    qint64 size() const { return m_size; }

    // Reads until `length` bytes or the end of the file; the count read, -1 on error.
    qint64 readAt(qint64 offset, char *buffer, qint64 length);
    // Hint that the whole file will be read front to back.
    void adviseSequential();

private:
    int m_fd = -1;
    FileId m_id;
    qint64 m_size = 0;
};
