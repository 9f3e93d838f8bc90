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
