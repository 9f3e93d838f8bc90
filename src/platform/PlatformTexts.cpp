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
        {QStringLiteral("Cache files from Safari, Chrome, and Firefox."),
         QStringLiteral("Cache files from Firefox.")},
        {QStringLiteral(
             "Docker isn't installed or isn't running. Start Docker Desktop to use this tab."),
         QStringLiteral("Docker isn't installed or isn't running. Start Docker to use this tab.")},
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
