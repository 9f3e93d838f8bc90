#pragma once

#include "exec/ProcessRunner.h"

#include <QString>
#include <QStringList>

class AppHost;

// Where the brew executable is and how a brew command line is built. No state: every
// answer is worked out afresh from the settings and the locations table.
namespace Brew {

inline constexpr const char customPathKey[] = "customBrewPath";

// "customBrewPath" when it is an absolute path to an executable file, else the first
// executable candidate of the table, else the table's last candidate unchecked.
QString path();
// One word in single quotes for the shell: each ' becomes '\''.
QString quote(const QString &word);
// Brew::path() and the arguments, each quoted, joined by single spaces.
QString command(const QStringList &arguments);
// The executable's path without its last two components.
QString prefix(const QString &executablePath);

// Runs brew for reading: the executable from path(), the arguments unchanged, and
// HOMEBREW_NO_AUTO_UPDATE=1 so that no read touches the installation. Blocks: call off
// the main thread.
RunResult read(const QStringList &arguments, AppHost *appState = nullptr,
               const CancelToken &cancel = {});
// The environment entry every read-only run gets.
inline constexpr const char noAutoUpdate[] = "HOMEBREW_NO_AUTO_UPDATE=1";

} // namespace Brew
