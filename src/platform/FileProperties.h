#pragma once

#include "platform/FileIdentity.h"

#include <QDateTime>
#include <QString>

#include <optional>

struct stat;

// What the file system says about one item, read without following a final link.
struct FileProperties {
    bool isDirectory = false;
    bool isSymLink = false;
    bool isRegularFile = false;
    qint64 fileSize = 0;       // logical size in bytes
    qint64 allocatedBytes = 0; // blocks on disk × 512
    quint64 linkCount = 0;
    FileId id;
    FileIdentity identity;
    QDateTime modified; // in UTC
    QDateTime accessed;

    static FileProperties fromStat(const struct stat &st);

    // lstat of the path; nothing when it does not exist or cannot be read.
    static std::optional<FileProperties> read(const QString &path);
    // stat: follows links.
    static std::optional<FileProperties> readFollowingLinks(const QString &path);

    static bool exists(const QString &path); // the item itself, a dangling link counts
    static bool isExecutable(const QString &path);
    // Target text of a symbolic link; empty when not a link or unreadable.
    static QString linkTarget(const QString &path);
    // Names of a folder's direct children, hidden ones included, in the order the
    // system lists them. Nothing when the folder cannot be listed.
    static std::optional<QStringList> listNames(const QString &folder);
};

// Native path bytes for a QString path and back; names that are not valid UTF-8
// decode leniently.
QByteArray nativePath(const QString &path);
QString decodeNativePath(const char *bytes, qsizetype length = -1);
// The path with every link and "." or ".." resolved, as the system sees it now; nothing
// when some part of it does not exist.
std::optional<QByteArray> realPath(const QByteArray &path);
