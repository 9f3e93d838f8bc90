#pragma once

#include <QString>

#include <functional>
#include <utility>

class AppState;

// Every removal goes through here: protected places are refused, everything else is
// moved to the Trash, never deleted.
namespace SafetyHelper {

// Moves one item away; returns success and, on failure, the system's description.
using RemoveFn = std::function<std::pair<bool, QString>(const QString &path)>;

// "~" expanded, repeated slashes, "." and ".." folded, trailing slash dropped; links
// are not followed.
QString standardizedPath(const QString &path);

bool isPathSafeToDelete(const QString &path);
// Blocks until the move is done: never call it on the main thread.
bool moveToTrash(const QString &path, AppState *appState = nullptr);
// Moves each direct child of the folder that passes the check; returns how many moved.
// Blocks the calling thread for the whole loop.
int trashContents(const QString &folder, AppState *appState = nullptr, RemoveFn remove = {});

} // namespace SafetyHelper
