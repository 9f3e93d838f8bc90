#include "app/screens/DesktopIntegration.h"

#include "app/widgets/Dialogs.h"
#include "platform/Locations.h"
#include "platform/Preferences.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QSaveFile>

#include <algorithm>

namespace DesktopIntegration {

namespace {

const QString kAskedKey = QStringLiteral("offeredMenuEntry");

bool isControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

// A string value's own escape: readers turn "\\" back into one backslash first.
QString escapedValue(QString text)
{
    return text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
}

// One argument of Exec: in double quotes when it holds a character the format reserves,
// with " ` $ and \ escaped inside them; a percent sign doubled, as it would otherwise
// start a field code.
QString execArgument(QString argument)
{
    static const QString reserved = QStringLiteral(" \t\"'\\><~|&;$*?#()`");
    if (std::any_of(argument.cbegin(), argument.cend(),
                    [](QChar c) { return reserved.contains(c); })) {
        for (const QChar c :
             {QLatin1Char('\\'), QLatin1Char('"'), QLatin1Char('`'), QLatin1Char('$')})
            argument.replace(c, QStringLiteral("\\") + c);
        argument = QLatin1Char('"') + argument + QLatin1Char('"');
    }
    return argument.replace(QLatin1Char('%'), QStringLiteral("%%"));
}

} // namespace

std::optional<QString> unpackedFolder(const QString &programDir)
{
    const QString folder = QDir::cleanPath(programDir + QStringLiteral("/.."));
    // Only the tarball ships the keyring; an installed copy is in the menu already.
    if (!QFileInfo::exists(folder + QStringLiteral("/share/quillmar/release-keyring.gpg")))
        return std::nullopt;
    return folder;
}

std::optional<QString> desktopEntry(const QString &folder)
{
    // A line break would end the value and start keys of the folder's choosing.
    if (std::any_of(folder.cbegin(), folder.cend(), isControl))
        return std::nullopt;
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Quillmar\n"
                          "GenericName=Disk Cleaner\n"
                          "Comment=See what fills your disk and move what you choose to the Trash\n"
                          "Exec=%1\n"
                          "Icon=%2\n"
                          "Terminal=false\n"
                          "Categories=System;Filesystem;\n"
                          "StartupWMClass=quillmar\n")
        .arg(escapedValue(execArgument(folder + QStringLiteral("/bin/quillmar"))),
             escapedValue(folder + QStringLiteral("/share/icons/hicolor/scalable/apps/") +
                          QLatin1String(appId) + QStringLiteral(".svg")));
}

std::optional<QString> addToMenu(const QString &folder, const QString &applicationsDir)
{
    const std::optional<QString> entry = desktopEntry(folder);
    if (!entry)
        return QStringLiteral("The folder's path holds a line break or another control "
                              "character, which a menu entry can't name. Rename the folder "
                              "and start Quillmar again.");
    if (!QDir().mkpath(applicationsDir))
        return QStringLiteral("The folder ") + applicationsDir +
               QStringLiteral(" couldn't be created.");
    QSaveFile file(applicationsDir + QLatin1Char('/') + QLatin1String(appId) +
                   QStringLiteral(".desktop"));
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    file.write(entry->toUtf8());
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

void offerOnFirstStart(QWidget *window, const QString &programDir, std::function<void()> then)
{
    const std::optional<QString> folder = unpackedFolder(programDir);
    if (!folder || Preferences::boolValue(kAskedKey, false)) {
        then();
        return;
    }
    Preferences::setValue(kAskedKey, true);
    const QString applications = Locations::current().userDesktopEntries;
    Dialogs::confirm(window,
                     {QStringLiteral("Add Quillmar to the application menu?"),
                      QStringLiteral("Quillmar can then be started from the menu like any other "
                                     "program. Moving this folder later breaks the entry."),
                      QStringLiteral("Add to Menu"), QStringLiteral("Not Now")},
                     [window = QPointer<QWidget>(window), folder, applications,
                      then = std::move(then)](bool accepted) {
                         const std::optional<QString> failed =
                             accepted ? addToMenu(*folder, applications) : std::nullopt;
                         if (!failed) {
                             then();
                             return;
                         }
                         Dialogs::alert(window,
                                        QStringLiteral("Quillmar couldn't be added to the "
                                                       "application menu."),
                                        *failed, then);
                     });
}

} // namespace DesktopIntegration
