#pragma once

#include <QIcon>
#include <QMimeType>
#include <QString>

// The icon for a file or folder, chosen from its name alone so that drawing a long
// list never touches the disk.
namespace FileIcons {

QIcon icon(const QString &path, bool isDirectory);

// The file's type as its name says (never its content).
QMimeType typeOf(const QString &path);

} // namespace FileIcons
