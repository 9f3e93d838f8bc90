#pragma once

#include <QString>
#include <QStringList>

class AppState;

// The outcome of one external program. (stdout and stderr are C macros, hence the names.)
struct RunResult {
    QString stdOut;
    QString stdErr;   // the system's description when the program could not start
    int exitCode = 0; // -1 when the program could not start
};

// Runs external programs and hands back what they printed. The running calls block
// the calling thread until the program has ended and both pipes are drained: call them
// off the main thread only.
namespace ProcessRunner {

// "/bin/sh" "-c" commandLine: pipes, redirections and "~" work.
RunResult runCommand(const QString &commandLine, AppState *appState = nullptr);
// The executable with the arguments unchanged; no shell.
RunResult run(const QString &executable, const QStringList &arguments,
              AppState *appState = nullptr);
// Combined "du -sm" size of the paths that exist, in MiB; 0 and nothing run when none does.
double sizeMB(const QStringList &paths);
double parseDuMB(const QString &output);

} // namespace ProcessRunner

// "%.2f MB" below 1024, else "%.2f GB" of value / 1024.
QString formatSizeMB(double megabytes);
// Without ESC [ … letter sequences (colours, cursor moves).
QString strippingANSI(const QString &text);
