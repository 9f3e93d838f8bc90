#include "update/ReleaseArchive.h"

#include "exec/ProcessRunner.h"
#include "platform/Locations.h"
#include "platform/PlatformTexts.h"

#include <QStringList>

namespace {

constexpr int kToolTimeoutMs = 10 * 60 * 1000;

QString unopened()
{
    return PlatformTexts::text(QStringLiteral("The disk image couldn't be opened."));
}

RunResult runTool(const QString &tool, const QStringList &arguments)
{
    RunOptions options;
    options.timeoutMs = kToolTimeoutMs;
    return ProcessRunner::run(tool, arguments, nullptr, options);
}

// Every member sits below one "Quillmar/" folder, none absolute, none with "..".
std::optional<QString> checkMembers(const QString &listing)
{
    const QString noApp =
        PlatformTexts::text(QStringLiteral("The disk image has no Quillmar.app."));
    const QStringList members = listing.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (members.isEmpty())
        return noApp;
    for (const QString &member : members) {
        if (member.startsWith(QLatin1Char('/')))
            return unopened();
        QStringList parts = member.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        if (parts.contains(QStringLiteral("..")))
            return unopened();
        parts.removeAll(QStringLiteral("."));
        if (parts.isEmpty()) // "./", the archive's own top
            continue;
        if (parts.first() != QLatin1String("Quillmar"))
            return noApp;
    }
    return std::nullopt;
}

} // namespace

namespace ReleaseArchive {

bool isSigned(const QString &archive, const QString &signature, const QString &keyring)
{
    const RunResult verified = runTool(Locations::current().gpgv,
                                       {QStringLiteral("--keyring"), keyring, signature, archive});
    return verified.exitCode == 0;
}

std::optional<QString> unpack(const QString &archive, const QString &folder)
{
    const QString tar = Locations::current().tar;
    const RunResult listed = runTool(tar, {QStringLiteral("--list"), QStringLiteral("--gzip"),
                                           QStringLiteral("--quoting-style=escape"),
                                           QStringLiteral("--file=") + archive});
    if (listed.exitCode != 0)
        return unopened();
    if (const auto refused = checkMembers(listed.stdOut))
        return refused;
    const RunResult unpacked =
        runTool(tar, {QStringLiteral("--extract"), QStringLiteral("--gzip"),
                      QStringLiteral("--no-same-owner"), QStringLiteral("--file=") + archive,
                      QStringLiteral("--directory=") + folder});
    if (unpacked.exitCode != 0)
        return unopened();
    return std::nullopt;
}

} // namespace ReleaseArchive
