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
        {QStringLiteral("Opening the disk image…"), QStringLiteral("Opening the archive…")},
        {QStringLiteral("The disk image couldn't be opened."),
         QStringLiteral("The archive couldn't be opened.")},
        {QStringLiteral("The disk image has no Quillmar.app."),
         QStringLiteral("The archive has no Quillmar folder.")},
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
