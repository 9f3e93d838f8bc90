#pragma once

#include <QByteArray>

// Absolute paths as the file system's bytes: a name that is not valid UTF-8 stays itself.
namespace BytePath {

// Repeated slashes, "." and ".." folded away; ".." cannot climb above "/" ("/tmp/../.." is
// "/"), while a relative path keeps the ".." it starts with. No link is followed: "a/.."
// is "." even where "a" is a link. Empty stays empty.
QByteArray folded(const QByteArray &path);

// The folder holding `path` ("/" for "/x" and for "/").
QByteArray parentOf(const QByteArray &path);
// The last component ("x" for "/a/x").
QByteArray lastName(const QByteArray &path);
// `name` inside `folder`, without doubling the root's slash.
QByteArray join(const QByteArray &folder, const QByteArray &name);
// `path` lies below `folder` (not `folder` itself); both standardised.
bool isStrictlyInside(const QByteArray &path, const QByteArray &folder);
bool isSameOrInside(const QByteArray &path, const QByteArray &folder);

} // namespace BytePath
