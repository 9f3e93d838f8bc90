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
        {QStringLiteral("couldn't be moved; macOS may protect them, use Show in Finder."),
         QStringLiteral("couldn't be moved; the system may protect them, use Show in Folder.")},
        {QStringLiteral("The app is gone, but these files in your Library still belong to it."),
         QStringLiteral("The app is gone, but these files in your home folder still belong to "
                        "it.")},
        {QStringLiteral("/Applications"),
         QStringLiteral("AppImages in /Applications and Flatpak apps installed for everyone")},
        {QStringLiteral("~/Applications"),
         QStringLiteral("AppImages in ~/Applications and your own Flatpak apps")},
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
