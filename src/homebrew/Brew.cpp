#include "homebrew/Brew.h"

#include "platform/FileProperties.h"
#include "platform/Locations.h"
#include "platform/Preferences.h"

#include <QDir>

namespace Brew {

QString path()
{
    const QString custom = Preferences::stringValue(QString::fromLatin1(customPathKey), QString());
    if (!custom.isEmpty() && QDir::isAbsolutePath(custom) && FileProperties::isExecutable(custom))
        return custom;
    const QStringList &candidates = Locations::current().brewCandidates;
    for (const QString &candidate : candidates) {
        if (FileProperties::isExecutable(candidate))
            return candidate;
    }
    return candidates.isEmpty() ? QString() : candidates.last();
}

QString quote(const QString &word)
{
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString command(const QStringList &arguments)
{
    QStringList words;
    words.reserve(arguments.size() + 1);
    words.append(quote(path()));
    for (const QString &argument : arguments)
        words.append(quote(argument));
    return words.join(QLatin1Char(' '));
}

QString prefix(const QString &executablePath)
{
    QStringList parts = executablePath.split(QLatin1Char('/'));
    if (parts.size() <= 2)
        return parts.size() == 2 && parts.first().isEmpty() ? QStringLiteral("/") : QString();
    parts.resize(parts.size() - 2);
    const QString joined = parts.join(QLatin1Char('/'));
    return joined.isEmpty() ? QStringLiteral("/") : joined;
}

RunResult read(const QStringList &arguments, AppHost *appState, const CancelToken &cancel)
{
    RunOptions options;
    options.cancel = cancel;
    options.environment = {QString::fromLatin1(noAutoUpdate)};
    return ProcessRunner::run(path(), arguments, appState, options);
}

} // namespace Brew
