#include "app/cli/Command.h"

#include "app/cli/Console.h"
#include "platform/Exclusions.h"
#include "storage/StorageScanner.h"

#include <unistd.h>

#include <climits>

int Command::run(const QList<QByteArray> &args, Console &console)
{
    const QList<Option> known = options();
    Arguments parsed;
    bool onlyPaths = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QByteArray &arg = args[i];
        if (onlyPaths || arg == "-" || !arg.startsWith('-')) {
            parsed.paths.append(arg);
            continue;
        }
        if (arg == "--") {
            onlyPaths = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            console.out(help());
            return Done;
        }
        const qsizetype equals = arg.indexOf('=');
        const QByteArray name = equals < 0 ? arg : arg.left(equals);
        const auto option = std::find_if(known.begin(), known.end(),
                                         [&](const Option &o) { return o.name == name; });
        if (option == known.end())
            return usageError(console, QStringLiteral("unknown option ") + QString::fromUtf8(name));
        if (option->value.isEmpty()) {
            if (equals >= 0)
                return usageError(console,
                                  QString::fromUtf8(name) + QStringLiteral(" takes no value"));
            parsed.options.insert(name, {});
        } else if (equals >= 0) {
            parsed.options.insert(name, arg.mid(equals + 1));
        } else if (i + 1 < args.size()) {
            parsed.options.insert(name, args[++i]);
        } else {
            return usageError(console, QString::fromUtf8(name) + QStringLiteral(" needs ") +
                                           QString::fromUtf8(option->value));
        }
    }
    if (parsed.paths.size() < minimumPaths())
        return usageError(console, QStringLiteral("missing ") + QString::fromUtf8(operands()));
    if (maximumPaths() >= 0 && parsed.paths.size() > maximumPaths())
        return usageError(console, QStringLiteral("too many operands"));
    // The window's own lists, read from the same files: a scan that cannot know what to
    // keep out, or a removal that cannot know what to spare, does not start.
    if (const Exclusions exclusions = Exclusions::current(); !exclusions.isReadable()) {
        console.error(name(), exclusions.error());
        return Partial;
    }
    return execute(parsed, console);
}

QByteArray Command::help() const
{
    QByteArray text = "Usage: quillmar-cli " + name();
    if (!operands().isEmpty())
        text += ' ' + operands();
    text += " [options]\n\n" + description().toUtf8() + "\n\nOptions:\n";
    QList<Option> all = options();
    all.append({"--help", {}, QStringLiteral("Show this help")});
    qsizetype width = 0;
    for (const Option &o : all)
        width = std::max(width, o.name.size() + (o.value.isEmpty() ? 0 : o.value.size() + 1));
    for (const Option &o : all) {
        const QByteArray left = o.value.isEmpty() ? o.name : o.name + ' ' + o.value;
        text += "  " + left.leftJustified(width + 2, ' ') + o.help.toUtf8() + '\n';
    }
    return text;
}

int Command::usageError(Console &console, const QString &message) const
{
    console.error(name(), message);
    console.err("Try 'quillmar-cli " + name() + " --help'.\n");
    return Usage;
}

std::optional<qint64> Command::parseSize(const QByteArray &text)
{
    QByteArray digits = text;
    qint64 unit = 1;
    static const QByteArray units = "KMGTkmgt";
    if (const qsizetype power = digits.isEmpty() ? -1 : units.indexOf(digits.back()); power >= 0) {
        digits.chop(1);
        unit = qint64(1) << (10 * (power % 4 + 1));
    }
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok);
    if (!ok || value < 0 || digits.startsWith('+') || value > LLONG_MAX / unit)
        return std::nullopt;
    return value * unit;
}

QByteArray Command::absolute(const QByteArray &path)
{
    if (path.isEmpty() || path.contains('\0'))
        return {};
    if (path.startsWith('/'))
        return StorageScanner::standardized(path);
    QByteArray folder(PATH_MAX, '\0');
    if (!::getcwd(folder.data(), size_t(folder.size())))
        return {};
    folder.truncate(qsizetype(qstrlen(folder.constData())));
    return StorageScanner::standardized(folder + '/' + path);
}
