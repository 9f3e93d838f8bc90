#pragma once

#include "exec/CancelToken.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class AppHost;

// The outcome of one external program. (stdout and stderr are C macros, hence the names.)
struct RunResult {
    QString stdOut;
    QString stdErr;         // the system's description when the program could not start
    int exitCode = 0;       // -1 when the program could not start, was stopped or timed out
    QByteArray stdOutBytes; // standard output as the program wrote it (paths, -print0)
    bool cancelled = false; // stopped through the token
    bool timedOut = false;  // stopped at the time limit
};

// How one program runs. Whatever the options, standard input is the null device and the
// program leads a process group of its own, so stopping it stops what it started.
struct RunOptions {
    CancelToken cancel;      // cancelling stops the program (SIGTERM, then SIGKILL)
    int timeoutMs = 0;       // 0: no limit
    QStringList environment; // "NAME=value" entries added to the program's environment
    // Called on the running thread with each piece of standard output as it arrives.
    std::function<void(const QByteArray &piece)> onOutput;
};

// Runs external programs and hands back what they printed. The running calls block
// the calling thread until the program has ended and both pipes are drained: call them
// off the main thread only. Given the state object, a run logs its command, its exit
// status and the last lines of its standard error; its standard output is never logged.
namespace ProcessRunner {

// "/bin/sh" "-c" commandLine: pipes, redirections and "~" work.
RunResult runCommand(const QString &commandLine, AppHost *appState = nullptr,
                     const RunOptions &options = {});
// The executable with the arguments unchanged; no shell.
RunResult run(const QString &executable, const QStringList &arguments, AppHost *appState = nullptr,
              const RunOptions &options = {});
// Stops every program running now and every one started from now on (quitting).
void stopAll();
// For tests: lets programs run again after stopAll().
void resetStopAll();
// How long a stopped program gets to end on SIGTERM before SIGKILL.
constexpr int stopGraceMs = 300;
// Combined "du -sm" size of the paths that exist, in MiB; 0 and nothing run when none does.
double sizeMB(const QStringList &paths);
double parseDuMB(const QString &output);

} // namespace ProcessRunner

// "%.2f MB" below 1024, else "%.2f GB" of value / 1024.
QString formatSizeMB(double megabytes);
// Without ESC [ … letter sequences (colours, cursor moves).
QString strippingANSI(const QString &text);
