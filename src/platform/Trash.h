#pragma once

#include "platform/FileIdentity.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

// The user's Trash. On Linux this is the freedesktop.org Trash: the home trash under
// $XDG_DATA_HOME/Trash, or a mount's top-folder trash for items on other file systems.
// Nothing here ever deletes or copies: an item is renamed into the Trash or left alone.
namespace Trash {

struct Result {
    bool ok = false;
    QString error;                // the system's description when !ok
    QString trashedPath;          // where the item now is when ok
    QByteArray trashedNativePath; // the same as the file system's bytes
};

// Blocks until done; never call it on the main thread.
Result moveToTrash(const QString &path);
// The same for a path given as the file system's bytes, so names that are not valid
// UTF-8 can be trashed too. Linux only.
Result moveNativeToTrash(const QByteArray &path);
// Moves the child `name` of an open folder: whoever judged the item from that descriptor
// gets exactly that item moved, whatever happens to the folder's path meanwhile.
// `recordedAs`, when given, is the place the Trash's record names instead of the item's
// own (an item swapped out of that place a moment ago goes back there on restore); it
// must lie on the same volume, else the item's own place is recorded.
Result moveChildToTrash(int parentFd, const QByteArray &name, const QByteArray &recordedAs = {});

// Takes an item this program trashed back to `destination` with a rename, so it comes
// back byte for byte as the same file, and drops the Trash's record of it. Nothing now at
// `destination` is ever replaced. The Trash's folders and the folder put back into are
// opened without following any link: a link where a folder was refuses. With `expected`,
// an item in the Trash that is not the one moved there is refused too.
Result putBack(const Result &trashed, const QByteArray &destination,
               const FileIdentity &expected = {});

// Empties the home trash for good: every item in files/ and its record in info/. The one
// permanent removal the program makes, after the user confirmed it. Links inside are
// removed, never followed. Blocks; never call it on the main thread.
struct Emptied {
    int removed = 0; // items of files/ gone
    int failed = 0;  // items (or parts of them) that stayed
    QString error;   // why the trash could not be opened at all
};
Emptied emptyHomeTrash();
// How many items the home trash holds (entries of its files/ folder).
int homeTrashItemCount();

// The path of an open folder as the system knows it now; nothing when it cannot tell.
std::optional<QByteArray> openedFolderPath(int fd);

// The reason given for a mount point, or a folder with one below it.
QString mountedFolderReason();

// The home trash folder (the one holding files/ and info/).
QString homeTrashFolder();

// The Path= value of a .trashinfo file: every byte outside the unreserved URL
// characters and "/" written as %XX, so any name survives a newline or a "%".
QByteArray encodeInfoPath(const QByteArray &path);
// The complete text of a .trashinfo file.
QByteArray infoText(const QByteArray &path, const QDateTime &deletionDate);

// For tests: answers "which folder is the top of the mount holding this path"; an empty
// answer (or no resolver) means "ask the file system".
using MountTopResolver = std::function<QString(const QString &path)>;
void setMountTopResolver(MountTopResolver resolver);

// For tests: behave as if the file system refused the no-replace rename (EINVAL), as
// some network and FUSE file systems do.
void setNoReplaceRenameAvailable(bool available);

} // namespace Trash
