#include "cleaning/SystemCaches.h"

#include "applications/AppLeftovers.h"
#include "exec/ProcessRunner.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"
#include "storage/StorageScanner.h"

#include <QRegularExpression>

namespace {

constexpr int kToolTimeoutMs = 30000;

QString q(const QString &word)
{
    return Locations::shellQuoted(word);
}

RunResult ask(const QString &tool, const QStringList &args, AppHost *appState,
              const CancelToken &cancel)
{
    RunOptions options;
    options.cancel = cancel;
    options.timeoutMs = kToolTimeoutMs;
    return ProcessRunner::run(tool, args, appState, options);
}

QString sizeNote(qint64 bytes)
{
    return bytes >= 0 ? QStringLiteral(" (%1)").arg(formatBytes(bytes)) : QString();
}

} // namespace

namespace SystemCaches {

qint64 parseJournalUsage(const QString &output)
{
    static const QRegularExpression size(QStringLiteral("take up ([0-9.]+)([KMGTP]?)"));
    const QRegularExpressionMatch m = size.match(output);
    if (!m.hasMatch())
        return -1;
    const qsizetype power = QStringLiteral("KMGTP").indexOf(m.captured(2)) + 1;
    double value = m.captured(1).toDouble();
    for (qsizetype i = 0; i < (m.captured(2).isEmpty() ? 0 : power); ++i)
        value *= 1024;
    return qint64(value);
}

QList<QPair<QString, QString>> parseDisabledSnaps(const QString &output)
{
    static const QRegularExpression name(QStringLiteral("^[a-z0-9][a-z0-9-]*(_[a-z0-9]+)?$"));
    static const QRegularExpression revision(QStringLiteral("^[0-9]+$"));
    QList<QPair<QString, QString>> found;
    const QStringList lines = output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringList f = lines[i].split(QLatin1Char(' '), Qt::SkipEmptyParts);
        // Name Version Rev Tracking Publisher Notes
        if (f.size() < 6 || !f.last().split(QLatin1Char(',')).contains(QLatin1String("disabled")))
            continue;
        // Anything else would reach the command line as something other than a name.
        if (name.match(f[0]).hasMatch() && revision.match(f[2]).hasMatch())
            found.append({f[0], f[2]});
    }
    return found;
}

QList<SystemCache> list(AppHost *appState, const CancelToken &cancel)
{
    const Locations &loc = Locations::current();
    QList<SystemCache> caches;
    if (loc.os != Locations::Os::Linux)
        return caches;

    if (FileProperties::isExecutable(loc.aptGet)) {
        SystemCache c;
        c.name = QStringLiteral("Package Cache");
        c.description = QStringLiteral("Packages apt downloaded to install or upgrade.");
        c.bytes = AppLeftovers::allocatedSize(nativePath(loc.aptArchives));
        c.command = q(loc.pkexec) + QLatin1Char(' ') + q(loc.aptGet) + QStringLiteral(" clean");
        c.confirmation = QStringLiteral("apt-get clean permanently deletes the downloaded package "
                                        "files in %1%2. Installed packages stay; apt downloads "
                                        "them again when it needs them.")
                             .arg(loc.aptArchives, sizeNote(c.bytes));
        caches.append(c);
    }
    if (FileProperties::isExecutable(loc.journalctl) && !cancel.isCancelled()) {
        SystemCache c;
        c.name = QStringLiteral("System Journal");
        c.description = QStringLiteral("The system's log files, oldest first.");
        c.bytes = parseJournalUsage(
            ask(loc.journalctl, {QStringLiteral("--disk-usage")}, appState, cancel).stdOut);
        c.command = q(loc.pkexec) + QLatin1Char(' ') + q(loc.journalctl) +
                    QStringLiteral(" --vacuum-size=") + QLatin1String(journalKeep);
        c.confirmation = QStringLiteral("journalctl permanently deletes the oldest archived "
                                        "journal files until the journal takes up %1B at most%2. "
                                        "The current log stays.")
                             .arg(QLatin1String(journalKeep), sizeNote(c.bytes));
        caches.append(c);
    }
    if (FileProperties::isExecutable(loc.flatpak)) {
        SystemCache c;
        c.name = QStringLiteral("Unused Flatpak Runtimes");
        c.description = QStringLiteral("Runtimes and extensions no installed app uses.");
        c.command = q(loc.flatpak) + QStringLiteral(" uninstall --unused -y --user; ") +
                    q(loc.pkexec) + QLatin1Char(' ') + q(loc.flatpak) +
                    QStringLiteral(" uninstall --unused -y --system");
        c.confirmation = QStringLiteral("flatpak permanently uninstalls the runtimes and "
                                        "extensions that no installed app uses, yours and "
                                        "everyone's.");
        caches.append(c);
    }
    if (FileProperties::isExecutable(loc.snap) && !cancel.isCancelled()) {
        const auto disabled = parseDisabledSnaps(
            ask(loc.snap, {QStringLiteral("list"), QStringLiteral("--all")}, appState, cancel)
                .stdOut);
        if (!disabled.isEmpty()) {
            SystemCache c;
            c.name = QStringLiteral("Disabled Snap Revisions");
            c.description = QStringLiteral("Older revisions snapd keeps after an update.");
            c.bytes = 0;
            QStringList steps, named;
            for (const auto &[snap, revision] : disabled) {
                if (const auto props =
                        FileProperties::read(loc.snapFiles + QLatin1Char('/') + snap +
                                             QLatin1Char('_') + revision + QStringLiteral(".snap")))
                    c.bytes += props->allocatedBytes;
                steps.append(q(loc.pkexec) + QLatin1Char(' ') + q(loc.snap) +
                             QStringLiteral(" remove --revision=") + revision +
                             QStringLiteral(" -- ") + q(snap));
                named.append(snap + QStringLiteral(" (revision ") + revision + QLatin1Char(')'));
            }
            c.command = steps.join(QStringLiteral(" && "));
            c.confirmation = QStringLiteral("snap permanently removes these disabled revisions%1: "
                                            "%2. The revisions in use stay.")
                                 .arg(sizeNote(c.bytes), named.join(QStringLiteral(", ")));
            caches.append(c);
        }
    }
    return caches;
}

} // namespace SystemCaches
