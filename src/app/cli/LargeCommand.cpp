#include "app/cli/LargeCommand.h"

#include "app/cli/Console.h"
#include "app/cli/FileListing.h"
#include "finders/ListExport.h"

#include <algorithm>

QString LargeCommand::description() const
{
    return QStringLiteral(
        "Lists the largest files.\n\n"
        "Lists the files below the folders of at least 50M (or --min-size),\n"
        "largest first (equal sizes by path): size as du -h prints it, a tab, the path.");
}

QList<Command::Option> LargeCommand::options() const
{
    return {
        {"--min-size", "SIZE",
         QStringLiteral("Only files of at least SIZE bytes (K, M, G, T: units of 1024)")},
        {"--json", {}, QStringLiteral("Print the files as JSON")},
    };
}

int LargeCommand::execute(const Arguments &args, Console &console)
{
    qint64 minimum = qint64(50) << 20;
    if (args.has("--min-size")) {
        const std::optional<qint64> size = parseSize(args.value("--min-size"));
        if (!size)
            return usageError(console, QStringLiteral("--min-size takes a size such as 4096, "
                                                      "100K or 2G"));
        minimum = *size;
    }
    FileListing listing(minimum, console);
    const bool complete = listing.list(args.paths);
    if (console.interrupted())
        return Interrupted;
    QList<FileListing::File> &files = listing.files;
    std::sort(files.begin(), files.end(), [](const auto &a, const auto &b) {
        return a.bytes != b.bytes ? a.bytes > b.bytes : a.path < b.path;
    });
    if (args.has("--json")) {
        QList<ListExport::File> rows;
        rows.reserve(files.size());
        for (const FileListing::File &f : std::as_const(files))
            rows.append({f.path, f.bytes, QStringLiteral("file")});
        console.out(ListExport::filesJson(rows));
    } else {
        QByteArray out;
        for (const FileListing::File &f : std::as_const(files))
            out += Console::humanSize(f.bytes) + '\t' + f.shown + '\n';
        console.out(out);
    }
    return complete ? Done : Partial;
}
