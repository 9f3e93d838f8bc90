#include "app/screens/DesktopIntegration.h"

#include "app/widgets/Dialogs.h"
#include "platform/Preferences.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace DesktopIntegration {

namespace {
const QString kAskedKey = QStringLiteral("offeredMenuEntry");
}

std::optional<QString> unpackedFolder(const QString &programDir)
{
    const QString folder = QDir::cleanPath(programDir + QStringLiteral("/.."));
    // Only the tarball ships the keyring; an installed copy is in the menu already.
    if (!QFileInfo::exists(folder + QStringLiteral("/share/quillmar/release-keyring.gpg")))
        return std::nullopt;
    return folder;
}

QString desktopEntry(const QString &folder)
{
    // Exec arguments with blanks or quotes must be quoted, and within quotes \ " ` $ escaped.
    QString program = folder + QStringLiteral("/bin/quillmar");
    for (const QChar c : {QLatin1Char('\\'), QLatin1Char('"'), QLatin1Char('`'), QLatin1Char('$')})
        program.replace(c, QStringLiteral("\\") + c);
    program.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Quillmar\n"
                          "GenericName=Disk Cleaner\n"
                          "Comment=See what fills your disk and move what you choose to the Trash\n"
                          "Exec=\"%1\"\n"
                          "Icon=%2\n"
                          "Terminal=false\n"
                          "Categories=System;Utility;Filesystem;\n"
                          "StartupWMClass=quillmar\n")
        .arg(program, folder + QStringLiteral("/share/icons/hicolor/scalable/apps/") +
                          QLatin1String(appId) + QStringLiteral(".svg"));
}

bool addToMenu(const QString &folder, const QString &applicationsDir)
{
    if (!QDir().mkpath(applicationsDir))
        return false;
    QSaveFile file(applicationsDir + QLatin1Char('/') + QLatin1String(appId) +
                   QStringLiteral(".desktop"));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(desktopEntry(folder).toUtf8());
    return file.commit();
}

void offerOnFirstStart(QWidget *window, const QString &programDir)
{
    const std::optional<QString> folder = unpackedFolder(programDir);
    if (!folder || Preferences::boolValue(kAskedKey, false))
        return;
    Preferences::setValue(kAskedKey, true);
    const QString applications =
        QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
    Dialogs::confirm(window,
                     {QStringLiteral("Add Quillmar to the application menu?"),
                      QStringLiteral("Quillmar can then be started from the menu like any other "
                                     "program. Moving this folder later breaks the entry."),
                      QStringLiteral("Add to Menu"), QStringLiteral("Not Now")},
                     [folder, applications](bool accepted) {
                         if (accepted)
                             addToMenu(*folder, applications);
                     });
}

} // namespace DesktopIntegration
