#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

// The desktop around the program: the browser, the file manager, other programs.
namespace Workspace {

bool openUrl(const QUrl &url);
// Shows the item selected in the file manager, else opens its folder; false when no
// file manager took either request.
bool revealInFileManager(const QString &path);
// Starts a program that outlives this one; the result says whether it started.
bool startDetached(const QString &program, const QStringList &arguments);
// The path to relaunch: the AppImage when running from one, else this executable.
QString applicationPath();

} // namespace Workspace
