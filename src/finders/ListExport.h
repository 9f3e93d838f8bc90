#pragma once

#include "finders/DuplicateFinder.h"
#include "finders/FileItem.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The finders' lists as CSV (RFC 4180, UTF-8, CRLF) and JSON, one row or group a line.
// Paths that are not UTF-8 are written with PathText's escapes: \udcXX in JSON, and the
// same six characters in CSV, where every backslash of a path is doubled.
namespace ListExport {

struct File {
    QByteArray path;
    qint64 bytes = 0;
    QString kind; // what the list calls it ("Installer", "> 5 GB")
    friend bool operator==(const File &, const File &) = default;
};

struct Group {
    qint64 bytes = 0; // one copy
    QList<QByteArray> paths;
    friend bool operator==(const Group &, const Group &) = default;
};

// path,bytes,kind
QByteArray filesCsv(const QList<File> &files);
// [{"path":…,"bytes":…,"kind":…},…]
QByteArray filesJson(const QList<File> &files);
// group,bytes,path: the group's number from 1, one line per copy
QByteArray groupsCsv(const QList<Group> &groups);
// [{"bytes":…,"paths":[…]},…]
QByteArray groupsJson(const QList<Group> &groups);

// A tab's rows as the file system names them, with their sizes in bytes as listed.
QList<File> files(const QList<FileItem> &items);
// The Duplicates tab's rows, one group per key, in the order the keys first appear.
QList<Group> groups(const QList<FileItem> &items);
QList<Group> groups(const QList<DuplicateGroupRecord> &records);

// Writes the file whole or not at all. Empty when done, else why not.
QString save(const QString &fileName, const QByteArray &contents);

} // namespace ListExport
