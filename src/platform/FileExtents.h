#pragma once

#include <QByteArray>

#include <optional>

// Where a file's data lies on the disk, as the file system tells it.
namespace FileExtents {

// Whether some of the file's blocks are shared with another file (a reflink copy on btrfs
// or XFS, or a snapshot), so that removing it frees nothing of them; nothing when the
// file system cannot tell (FIEMAP unsupported, not Linux). The final link is not followed.
std::optional<bool> sharesBlocks(const QByteArray &path);

} // namespace FileExtents
