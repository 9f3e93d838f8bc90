#include "platform/PlatformTexts.h"

#include <QHash>

namespace {

// macOS wording → Linux wording. Keep each Linux text the macOS one with only the
// platform-bound words changed.
const QHash<QString, QString> &linuxTexts()
{
    static const QHash<QString, QString> table = {
        {QStringLiteral("Reveal in Finder"), QStringLiteral("Show in Folder")},
        {QStringLiteral("Show in Finder"), QStringLiteral("Show in Folder")},
        {QStringLiteral("Finder"), QStringLiteral("the file manager")},
        {QStringLiteral("Mac"), QStringLiteral("computer")},
        {QStringLiteral("macOS"), QStringLiteral("the system")},
        // The scan there finds the images and packages Linux installs from as well.
        {QStringLiteral("Leftover .dmg and .pkg files"),
         QStringLiteral("Leftover .deb, .rpm, .iso, .dmg and .pkg files")},
        {QStringLiteral("While Quillmar is open, dragging an app to the Trash shows the caches, "
                        "preferences, containers and support files it left in your Library, so "
                        "you can remove them too. Uninstall in the Applications tab does the "
                        "same."),
         QStringLiteral("While Quillmar is open, moving an app to the Trash shows the caches, "
                        "settings and data files it left in your home folder, so you can remove "
                        "them too. Uninstall in the Applications tab does the same.")},
        // Screens of the shell and the storage map.
        {QStringLiteral("Everything stays on this Mac. Quillmar reads file sizes and names to "
                        "measure folders, hashes parts of large files to find duplicates, and "
                        "only removes what you choose, by moving it to the Trash."),
         QStringLiteral("Everything stays on this computer. Quillmar reads file sizes and names "
                        "to measure folders, hashes parts of large files to find duplicates, and "
                        "only removes what you choose, by moving it to the Trash.")},
        {QStringLiteral("Quillmar won't scan until it has access, so macOS doesn't ask folder "
                        "by folder."),
         QStringLiteral("Quillmar won't scan until it has access, so the system doesn't ask "
                        "folder by folder.")},
        {QStringLiteral("See what fills your Mac and clear it safely."),
         QStringLiteral("See what fills your computer and clear it safely.")},
        {QStringLiteral("Quillmar measures and cleans folders across your Mac, including "
                        "Desktop, Documents, Downloads and Library. With Full Disk Access, macOS "
                        "asks once instead of once per folder. Nothing is scanned until you "
                        "decide."),
         QStringLiteral("Quillmar measures and cleans folders across your computer, including "
                        "Desktop, Documents, Downloads and Library. With Full Disk Access, the "
                        "system asks once instead of once per folder. Nothing is scanned until "
                        "you decide.")},
        {QStringLiteral("macOS will ask about each protected folder as Quillmar reaches it"),
         QStringLiteral("The system will ask about each protected folder as Quillmar reaches "
                        "it")},
        {QStringLiteral("Used the next time Quillmar opens. The whole disk includes hidden and "
                        "system folders; other disks in /Volumes are left out."),
         QStringLiteral("Used the next time Quillmar opens. The whole disk includes hidden and "
                        "system folders; other disks in /media and /mnt are left out.")},
        {QStringLiteral("couldn't be moved; macOS may protect them, use Show in Finder."),
         QStringLiteral("couldn't be moved; the system may protect them, use Show in Folder.")},
        {QStringLiteral("The app is gone, but these files in your Library still belong to it."),
         QStringLiteral("The app is gone, but these files in your home folder still belong to "
                        "it.")},
        {QStringLiteral("Deep scanning /Applications..."),
         QStringLiteral("Deep scanning applications...")},
        {QStringLiteral("/Applications"),
         QStringLiteral("AppImages in /Applications and Flatpak apps installed for everyone")},
        {QStringLiteral("~/Applications"),
         QStringLiteral("AppImages in ~/Applications and your own Flatpak apps")},
        {QStringLiteral("Opening the disk image…"), QStringLiteral("Opening the archive…")},
        {QStringLiteral("The disk image couldn't be opened."),
         QStringLiteral("The archive couldn't be opened.")},
        {QStringLiteral("The disk image has no Quillmar.app."),
         QStringLiteral("The archive has no Quillmar folder.")},
        {QStringLiteral("Cache files from Safari, Chrome, and Firefox."),
         QStringLiteral("Cache files from Firefox.")},
        {QStringLiteral(
             "Docker isn't installed or isn't running. Start Docker Desktop to use this tab."),
         QStringLiteral("Docker isn't installed or isn't running. Start Docker to use this tab.")},
        {QStringLiteral("Your Mac is running smoothly."),
         QStringLiteral("Your computer is running smoothly.")},
        {QStringLiteral("Homebrew wasn't found in /opt/homebrew/bin or /usr/local/bin."),
         QStringLiteral("Homebrew wasn't found in /home/linuxbrew/.linuxbrew/bin or "
                        "~/.linuxbrew/bin.")},
        {QStringLiteral("Leave empty to use /opt/homebrew (Apple silicon) or /usr/local (Intel). "
                        "Takes effect on the next Homebrew scan."),
         QStringLiteral("Leave empty to use /home/linuxbrew/.linuxbrew (shared) or ~/.linuxbrew "
                        "(your own). Takes effect on the next Homebrew scan.")},
    };
    return table;
}

} // namespace

namespace PlatformTexts {

QString text(const QString &macText)
{
    return text(macText, Locations::current().os);
}

QString text(const QString &macText, Locations::Os os)
{
    if (os == Locations::Os::MacOS)
        return macText;
    return linuxTexts().value(macText, macText);
}

bool has(const QString &macText)
{
    return linuxTexts().contains(macText);
}

} // namespace PlatformTexts
