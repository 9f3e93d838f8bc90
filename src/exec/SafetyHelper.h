#pragma once

#include "platform/FileIdentity.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

class AppHost;

// Every removal goes through here: protected places are refused, everything else is
// moved to the Trash, never deleted, and every item moved is told to RemovalHub (joining
// the batch this thread joined, if any).
namespace SafetyHelper {

// Moves one item away; returns success and, on failure, the system's description.
using RemoveFn = std::function<std::pair<bool, QString>(const QString &path)>;

// "~" expanded, repeated slashes, "." and ".." folded, trailing slash dropped; links
// are not followed.
QString standardizedPath(const QString &path);

// False for a path holding a NUL or one whose text does not round-trip to the same bytes.
bool isPathSafeToDelete(const QString &path);
// Blocks until the move is done: never call it on the main thread. Refuses a path whose
// text does not round-trip to the same bytes.
bool moveToTrash(const QString &path, AppHost *appState = nullptr);

// What a move came to; `reason` says why not in words a person can be shown.
struct Outcome {
    bool ok = false;
    QString reason;
};
// The road for paths read from listings (find -print0, DirectoryReader): the file
// system's bytes, so a name that is not valid UTF-8 is judged and moved as itself. The
// move opens the folder it judged again without following any link and refuses when a
// link was put on the way or another folder took its place; the item is then reached
// only through that folder and judged again from there.
bool isNativePathSafeToDelete(const QByteArray &path);
Outcome moveNativeToTrash(const QByteArray &path, AppHost *appState = nullptr);
// The same for a row's item: refused with changedReason() when the item there now is not
// the one listed as `expected`.
Outcome moveNativeToTrash(const QByteArray &path, const FileIdentity &expected,
                          AppHost *appState = nullptr);
// The same for an item that was swapped out of `origin` a moment ago (the updater's old
// copy): the Trash's record names `origin`, so a restore puts it back there.
Outcome moveNativeToTrashFrom(const QByteArray &path, const QByteArray &origin);
// "<name> changed since it was listed. Rescan and try again."
QString changedReason(const QByteArray &path);
// The text path's bytes, or nothing when the text does not stand for exactly one name
// on disk (it holds a NUL or does not round-trip to the same bytes).
std::optional<QByteArray> exactNativePath(const QString &path);
// For tests: runs after a move's path is judged and before its folder is opened, the
// moment a hostile process would pick to swap a link.
void setBeforeOpenHook(std::function<void()> hook);
// Moves each direct child of the folder that passes the check; returns how many moved.
// Blocks the calling thread for the whole loop.
int trashContents(const QString &folder, AppHost *appState = nullptr, RemoveFn remove = {});
struct ContentsOutcome {
    int moved = 0;
    QString refusal; // set when the folder itself was refused and nothing moved
};
// The same for a folder listed as `expected`: nothing moves when the folder there now is
// another one. Its children are reached only through the folder compared; those named in
// `kept` stay.
ContentsOutcome trashContents(const QString &folder, const FileIdentity &expected,
                              AppHost *appState = nullptr, const QList<QByteArray> &kept = {});

} // namespace SafetyHelper
