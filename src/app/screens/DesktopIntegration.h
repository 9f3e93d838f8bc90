#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

// A copy unpacked from the release tarball is not in the application menu. On its first
// start it offers to add an entry for itself to the user's menu.
namespace DesktopIntegration {

inline constexpr char appId[] = "com.ornk.quillmar";

// The unpacked folder ("…/Quillmar") when the program runs from one, else nothing.
std::optional<QString> unpackedFolder(const QString &programDir);
// The user's entry for a copy in `folder`, as text; nothing when the folder's path
// holds a line break or another control character, which an entry cannot hold.
std::optional<QString> desktopEntry(const QString &folder);
// Writes the entry into `applicationsDir`; the reason when it could not be written.
std::optional<QString> addToMenu(const QString &folder, const QString &applicationsDir);
// Asks once per user (remembered in the preferences) and adds the entry when accepted;
// an entry that cannot be written is explained in an alert. `then` runs once the question
// and its alert are closed, or at once when nothing is asked: what would open another
// window waits for it, as a second modal window takes no clicks.
void offerOnFirstStart(QWidget *window, const QString &programDir, std::function<void()> then);

} // namespace DesktopIntegration
