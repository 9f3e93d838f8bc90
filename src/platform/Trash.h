#pragma once

#include <QString>

#include <functional>

// The user's Trash. On Linux this is the freedesktop.org Trash: the home trash under
// $XDG_DATA_HOME/Trash, or a mount's top-folder trash for items on other file systems.
// Nothing here ever deletes or copies: an item is renamed into the Trash or left alone.
namespace Trash {

struct Result {
    bool ok = false;
    QString error;       // the system's description when !ok
    QString trashedPath; // where the item now is when ok
};

// Blocks until done; never call it on the main thread.
Result moveToTrash(const QString &path);

// The home trash folder (the one holding files/ and info/).
QString homeTrashFolder();

// For tests: answers "which folder is the top of the mount holding this path".
using MountTopResolver = std::function<QString(const QString &path)>;
void setMountTopResolver(MountTopResolver resolver);

} // namespace Trash
