#pragma once

#include "platform/FileProperties.h"

#include <QString>

#include <functional>

namespace DirectoryWalk {

// Visits every item below `folder` (not the folder itself), hidden ones included, without
// following links. Names travel as the system's bytes, so a folder whose name is not valid
// UTF-8 is still descended; only the path handed to `visit` is decoded. Unreadable
// subfolders are passed over. False when `folder` is not a folder that can be opened.
using Visitor = std::function<void(const QString &path, const FileProperties &properties)>;
bool walk(const QString &folder, const Visitor &visit);

} // namespace DirectoryWalk
