#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// A list of absolute paths in a file of its own, one a line after a header line, every
// byte outside the unreserved URL characters and "/" written as %XX: any name, a line
// feed or bytes that are not UTF-8 included, reads back as itself.
namespace PathList {

struct Read {
    QList<QByteArray> paths;
    QString error; // why the file could not be read; a missing file is an empty list
};
Read read(const QString &file);
// Writes the whole list to a temporary file beside `file` and renames it over `file`, so
// a reader sees the old list or the new one, never a part. The reason when it fails.
QString write(const QString &file, const QList<QByteArray> &paths);

// One path as a line (without its line feed), and back; nothing for a damaged line.
QByteArray encode(const QByteArray &path);
std::optional<QByteArray> decode(const QByteArray &line);

} // namespace PathList
