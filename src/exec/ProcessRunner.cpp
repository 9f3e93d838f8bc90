#include "exec/ProcessRunner.h"

#include "app/AppState.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"

#include <QProcess>
#include <QRegularExpression>

namespace {

QString quotedCommandLine(const QString &executable, const QStringList &arguments)
{
    QStringList parts;
    parts.reserve(arguments.size() + 1);
    for (const QString &p : QStringList{executable} + arguments)
        parts.append(p.contains(QLatin1Char(' ')) ? QLatin1Char('"') + p + QLatin1Char('"') : p);
    return parts.join(QLatin1Char(' '));
}

RunResult execute(const QString &executable, const QStringList &arguments,
                  const QString &loggedLine, AppState *appState)
{
    if (appState)
        appState->addLog(QStringLiteral("input"), QStringLiteral("$ ") + loggedLine);

    QProcess process;
    process.setProgram(executable);
    process.setArguments(arguments);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    // Standard input stays the program's own, as the platform's process facility does.
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1)) {
        RunResult failed{QString(), process.errorString(), -1};
        if (appState)
            appState->addLog(QStringLiteral("stderr"),
                             QStringLiteral("Failed to run process: ") + failed.stdErr);
        return failed;
    }
    // QProcess reads both pipes while it waits, so a program that fills one of them
    // never stalls.
    process.waitForFinished(-1);
    const QByteArray out = process.readAllStandardOutput();
    const QByteArray err = process.readAllStandardError();

    RunResult result;
    // Lenient: one odd byte in a file name must not blank a whole listing.
    result.stdOut = QString::fromUtf8(out);
    result.stdErr = QString::fromUtf8(err);
    result.exitCode = process.exitCode();
    if (appState) {
        if (!result.stdOut.isEmpty())
            appState->addLog(QStringLiteral("stdout"), result.stdOut);
        if (!result.stdErr.isEmpty())
            appState->addLog(QStringLiteral("stderr"), result.stdErr);
    }
    return result;
}

} // namespace

RunResult ProcessRunner::runCommand(const QString &commandLine, AppState *appState)
{
    return execute(Locations::current().shell, {QStringLiteral("-c"), commandLine}, commandLine,
                   appState);
}

RunResult ProcessRunner::run(const QString &executable, const QStringList &arguments,
                             AppState *appState)
{
    return execute(executable, arguments, quotedCommandLine(executable, arguments), appState);
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
