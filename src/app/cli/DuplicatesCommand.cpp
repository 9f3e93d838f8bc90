#include "app/cli/DuplicatesCommand.h"

#include "app/cli/Console.h"
#include "app/cli/FileListing.h"
#include "finders/DuplicateFinder.h"
#include "finders/ListExport.h"

#include <QHash>

QString DuplicatesCommand::description() const
{
    return QStringLiteral(
        "Finds files with the same contents.\n\n"
        "Looks below the folders and prints each group of copies\n"
        "one path a line, groups apart by a blank line, as jdupes -r does. Empty files, links\n"
        "and several names of one file are not copies.");
}

QList<Command::Option> DuplicatesCommand::options() const
{
    return {
        {"--min-size", "SIZE",
         QStringLiteral("Only files of at least SIZE bytes (K, M, G, T: units of 1024)")},
        {"--json", {}, QStringLiteral("Print the groups as JSON")},
    };
}

int DuplicatesCommand::execute(const Arguments &args, Console &console)
{
    qint64 minimum = 1;
    if (args.has("--min-size")) {
        const std::optional<qint64> size = parseSize(args.value("--min-size"));
        if (!size)
            return usageError(console, QStringLiteral("--min-size takes a size such as 4096, "
                                                      "100K or 2G"));
        minimum = std::max<qint64>(*size, 1);
    }
    FileListing listing(minimum, console);
    const bool complete = listing.list(args.paths);
    if (console.interrupted())
        return Interrupted;
    QList<QByteArray> paths;
    QHash<QByteArray, QByteArray> shown;
    paths.reserve(listing.files.size());
    for (const FileListing::File &f : std::as_const(listing.files)) {
        paths.append(f.path);
        shown.insert(f.path, f.shown);
    }
    QList<DuplicateGroupRecord> groups;
    console.withProgress(
        [&] { groups = DuplicateFinder::nativeGroups(paths, 0, console.interrupt()); },
        [&] { return "comparing " + QByteArray::number(paths.size()) + " files"; });
    if (console.interrupted())
        return Interrupted;
    if (args.has("--json")) {
        console.out(ListExport::groupsJson(ListExport::groups(groups)));
    } else {
        QByteArray out;
        for (const DuplicateGroupRecord &g : std::as_const(groups)) {
            for (const QByteArray &path : g.nativePaths)
                out += shown.value(path, path) + '\n';
            out += '\n';
        }
        console.out(out);
    }
    return complete ? Done : Partial;
}
