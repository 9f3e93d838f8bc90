#include "exec/ProcessRunner.h"

#include "exec/AppHost.h"
#include "exec/ThreadPriority.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <atomic>

#include <signal.h>
#include <unistd.h>

namespace {

QString quotedCommandLine(const QString &executable, const QStringList &arguments)
{
    QStringList parts;
    parts.reserve(arguments.size() + 1);
    for (const QString &p : QStringList{executable} + arguments)
        parts.append(p.contains(QLatin1Char(' ')) ? QLatin1Char('"') + p + QLatin1Char('"') : p);
    return parts.join(QLatin1Char(' '));
}

std::atomic_bool gStopAll{false};

// What the log keeps of one run: a listing's output never reaches it, and what does is
// bounded, so a long command line or a chatty tool cannot flood it.
constexpr qsizetype kLoggedCommandChars = 2000;
constexpr qsizetype kLoggedErrorBytes = 1000;
constexpr int kLoggedErrorLines = 5;

QString boundedCommandLine(const QString &line)
{
    if (line.size() <= kLoggedCommandChars)
        return line;
    return line.left(kLoggedCommandChars) + QChar(0x2026);
}

// The last few lines of standard error, taken from its last bytes; "…" marks a line cut.
QString errorTail(const QByteArray &err)
{
    qsizetype end = err.size();
    while (end > 0 && err.at(end - 1) == '\n')
        --end;
    const qsizetype start = qMax<qsizetype>(0, end - kLoggedErrorBytes);
    qsizetype begin = end;
    int lines = 0;
    for (;;) {
        const qsizetype newline = begin > 0 ? err.lastIndexOf('\n', begin - 1) : -1;
        if (newline < start) {
            begin = start;
            break;
        }
        if (++lines == kLoggedErrorLines) {
            begin = newline + 1;
            break;
        }
        begin = newline;
    }
    const QString text = QString::fromUtf8(err.constData() + begin, end - begin);
    return begin > 0 && err.at(begin - 1) != '\n' ? QChar(0x2026) + text : text;
}

QString statusText(const RunResult &result, int timeoutMs)
{
    if (result.timedOut)
        return QStringLiteral("timed out after %1 ms").arg(timeoutMs);
    if (result.cancelled)
        return QStringLiteral("stopped");
    if (result.exitCode < 0)
        return QStringLiteral("crashed");
    return QString::number(result.exitCode);
}

bool shouldStop(const RunOptions &options)
{
    return options.cancel.isCancelled() || gStopAll.load(std::memory_order_relaxed);
}

// Ends the program's whole group: a shell may run the tool as a child of its own, and
// that child may outlive the shell on SIGTERM, so the group gets SIGKILL after the grace
// unless it emptied first.
void stopGroup(QProcess &process)
{
    const pid_t group = pid_t(process.processId());
    if (group <= 0)
        return;
    ::kill(-group, SIGTERM);
    QElapsedTimer grace;
    grace.start();
    bool leaderEnded = false;
    while (grace.elapsed() < ProcessRunner::stopGraceMs) {
        leaderEnded = leaderEnded || process.waitForFinished(10);
        if (leaderEnded && ::kill(-group, 0) != 0)
            return;
    }
    ::kill(-group, SIGKILL);
    process.waitForFinished(-1);
}

RunResult execute(const QString &executable, const QStringList &arguments,
                  const QString &loggedLine, AppHost *appState, const RunOptions &options)
{
    if (appState)
        appState->addLog(QStringLiteral("input"),
                         QStringLiteral("$ ") + boundedCommandLine(loggedLine));

    RunResult result;
    if (shouldStop(options)) {
        result.exitCode = -1;
        result.cancelled = true;
        return result;
    }

    QProcess process;
    process.setProgram(executable);
    process.setArguments(arguments);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    // A tool that asks a question must fail at once, never wait on our terminal.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setChildProcessModifier([] { ThreadPriority::detachTool(); });
    if (!options.environment.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString &entry : options.environment) {
            const qsizetype eq = entry.indexOf(QLatin1Char('='));
            if (eq > 0)
                env.insert(entry.left(eq), entry.mid(eq + 1));
        }
        process.setProcessEnvironment(env);
    }
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1)) {
        result.stdErr = process.errorString();
        result.exitCode = -1;
        if (appState)
            appState->addLog(QStringLiteral("stderr"),
                             QStringLiteral("Failed to run process: ") + result.stdErr);
        return result;
    }

    // QProcess reads both pipes while it waits, so a program that fills one of them
    // never stalls; short waits keep the token and the time limit in view.
    QElapsedTimer clock;
    clock.start();
    QByteArray out;
    QByteArray err;
    const auto readOut = [&] {
        const QByteArray piece = process.readAllStandardOutput();
        if (piece.isEmpty())
            return;
        out += piece;
        if (options.onOutput)
            options.onOutput(piece);
    };
    while (!process.waitForFinished(25)) {
        readOut();
        err += process.readAllStandardError();
        if (process.state() == QProcess::NotRunning)
            break;
        if (shouldStop(options)) {
            result.cancelled = true;
            stopGroup(process);
            break;
        }
        if (options.timeoutMs > 0 && clock.elapsed() >= options.timeoutMs) {
            result.timedOut = true;
            stopGroup(process);
            break;
        }
    }
    readOut();
    err += process.readAllStandardError();

    // Lenient: one odd byte in a file name must not blank a whole listing.
    result.stdOut = QString::fromUtf8(out);
    result.stdErr = QString::fromUtf8(err);
    result.stdOutBytes = out;
    result.exitCode =
        (result.cancelled || result.timedOut || process.exitStatus() != QProcess::NormalExit)
            ? -1
            : process.exitCode();
    if (result.timedOut && result.stdErr.isEmpty())
        result.stdErr = QStringLiteral("Timed out after %1 ms").arg(options.timeoutMs);
    if (appState) {
        appState->addLog(QStringLiteral("exit"), statusText(result, options.timeoutMs));
        if (const QString tail = errorTail(err); !tail.isEmpty())
            appState->addLog(QStringLiteral("stderr"), tail);
    }
    return result;
}

} // namespace

RunResult ProcessRunner::runCommand(const QString &commandLine, AppHost *appState,
                                    const RunOptions &options)
{
    return execute(Locations::current().shell, {QStringLiteral("-c"), commandLine}, commandLine,
                   appState, options);
}

RunResult ProcessRunner::run(const QString &executable, const QStringList &arguments,
                             AppHost *appState, const RunOptions &options)
{
    return execute(executable, arguments, quotedCommandLine(executable, arguments), appState,
                   options);
}

void ProcessRunner::stopAll()
{
    gStopAll.store(true);
}

void ProcessRunner::resetStopAll()
{
    gStopAll.store(false);
}

double ProcessRunner::sizeMB(const QStringList &paths)
{
    QStringList existing;
    for (const QString &p : paths) {
        if (FileProperties::exists(p))
            existing.append(p);
    }
    if (existing.isEmpty())
        return 0;
    return parseDuMB(
        run(Locations::current().du, QStringList{QStringLiteral("-sm")} + existing).stdOut);
}

double ProcessRunner::parseDuMB(const QString &output)
{
    double total = 0;
    const QStringList lines = output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        const QString first = (tab < 0 ? line : line.left(tab)).trimmed();
        bool ok = false;
        const double value = first.toDouble(&ok);
        if (ok)
            total += value;
    }
    return total;
}

QString formatSizeMB(double megabytes)
{
    if (megabytes < 1024)
        return QString::asprintf("%.2f MB", megabytes);
    return QString::asprintf("%.2f GB", megabytes / 1024);
}

QString strippingANSI(const QString &text)
{
    static const QRegularExpression escape(QStringLiteral("\x1b\\[[0-9;]*[a-zA-Z]"));
    QString stripped = text;
    stripped.remove(escape);
    return stripped;
}
