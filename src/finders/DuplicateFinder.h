#pragma once

#include "exec/CancelToken.h"
#include "finders/FileList.h"
#include "platform/FileIdentity.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// One set of files with identical contents.
struct DuplicateGroupRecord {
    // Decimal size, "-", 12 lower-case hex digits of the head-and-tail fingerprint (of the
    // whole contents when several groups share a size and a fingerprint).
    QString key;
    qint64 bytes = 0;               // the common size
    QStringList paths;              // ascending, two or more distinct files
    QList<QByteArray> nativePaths;  // the same files as the file system names them
    QList<FileIdentity> identities; // the same files as they were when listed
    friend bool operator==(const DuplicateGroupRecord &, const DuplicateGroupRecord &) = default;
};

// Finds the files of a list whose contents are the same. Only regular files of at least
// one byte take part; several names of one file count once (the first in ascending
// order); a file that changes size while it is examined is left out. Files are read a
// few KiB at a time, so memory grows neither with file size nor with the size of a set.
namespace DuplicateFinder {

// 0 picks by the amount of work; 1 or 2 forces. The result does not depend on it.
QList<DuplicateGroupRecord> groups(const QStringList &paths, int threads = 0);
// The same for paths as the file system's bytes (a find -print0 listing), so names that
// are not valid UTF-8 are read as themselves. A cancelled token ends the work early with
// what is complete so far. `progress` hears the bytes compared so far of the bytes to
// compare, from the comparing threads.
using Progress = std::function<void(qint64 done, qint64 total)>;
QList<DuplicateGroupRecord> nativeGroups(const QList<QByteArray> &paths, int threads = 0,
                                         const CancelToken &cancel = {},
                                         const Progress &progress = {});
// The same for a search's files, with the identity each was listed with.
QList<DuplicateGroupRecord> groupsOf(const FileList &files, int threads = 0,
                                     const CancelToken &cancel = {}, const Progress &progress = {});

// MD5 of the first 512 KiB and of the 512 KiB from max(size, 1 MiB) - 512 KiB (the whole
// file up to 1 MiB), as 32 hex digits; empty when the file cannot be read in full or its
// size is not `size`.
QString fingerprint(const QString &path, qint64 size);

} // namespace DuplicateFinder
