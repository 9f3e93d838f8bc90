#pragma once

#include <QIcon>
#include <QString>

// What the About panels show: name, version, build number and the application icon.
namespace AppInfo {

QString name();
// The short version; "?" when unknown.
QString shortVersion();
// The build number; "?" when unknown.
QString buildNumber();
// "Version " + short version + " (" + build + ")".
QString versionLine();
// The application icon, drawn once: a block map on a rounded tile.
QIcon icon();

} // namespace AppInfo
