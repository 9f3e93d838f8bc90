#pragma once

#include <QByteArray>
#include <QHashFunctions>
#include <QtGlobal>

#include <optional>

struct stat;

// Which item a place holds: a device and an inode.
struct FileId {
    quint64 device = 0;
    quint64 inode = 0;
    friend bool operator==(const FileId &, const FileId &) = default;
};

inline size_t qHash(const FileId &id, size_t seed = 0)
{
    return qHashMulti(seed, id.device, id.inode);
}

// The item a row was shown with, read without following a final link. A row keeps it
// from its listing to its removal, which refuses an item that is not the one shown.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;       // bytes
    qint64 modifiedNs = 0; // since the epoch
    bool isFolder = false;

    static FileIdentity fromStat(const struct stat &st);
    // fstatat of a child of an open folder.
    static std::optional<FileIdentity> readAt(int folderFd, const QByteArray &name);
    // lstat of a path.
    static std::optional<FileIdentity> read(const QByteArray &path);

    FileId id() const { return {device, inode}; }
    bool isNull() const { return device == 0 && inode == 0; }
    // Whether `now` is still the item this identity was taken of. A folder is the same
    // folder whatever happened inside it (its size and time change with its contents);
    // anything else must also keep its size and modification time. Nothing matches a
    // null identity.
    bool matches(const FileIdentity &now) const;

    friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};

inline size_t qHash(const FileIdentity &identity, size_t seed = 0)
{
    return qHashMulti(seed, identity.device, identity.inode, identity.size, identity.modifiedNs);
}
