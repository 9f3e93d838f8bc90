#include "app/cli/JunkCommand.h"

#include "app/cli/Console.h"
#include "cleaning/JunkCategories.h"
#include "platform/FileProperties.h"
#include "platform/PathText.h"
#include "storage/StorageScanner.h"

QString JunkCommand::description() const
{
    return QStringLiteral(
        "Measures caches, logs and build products; removes nothing.\n\n"
        "Measures what the Junk tab cleans: size as du -h\n"
        "prints it, the category and its folder, for the categories this system has; a\n"
        "folder another category lists counts there only. Read only.");
}

QList<Command::Option> JunkCommand::options() const
{
    return {{"--json", {}, QStringLiteral("Print the categories as JSON")}};
}

int JunkCommand::execute(const Arguments &args, Console &console)
{
    struct Row {
        QString name;
        QByteArray path;
        qint64 bytes = 0;
        bool partial = false;
        QStringList excluded;
    };
    QList<Row> rows;
    StorageScanner scanner;
    console.withProgress(
        [&] {
            for (const JunkCategory &c : JunkCategories::all()) {
                Row row{c.name, nativePath(c.path), 0, false, c.excluded};
                if (const auto e = scanner.entry(row.path, console.interrupt())) {
                    row.bytes = e->bytes;
                    row.partial = e->isPartial;
                }
                rows.append(row);
            }
        },
        [&] { return QByteArray::number(scanner.folderReads()) + " folders"; });
    if (console.interrupted())
        return Interrupted;
    // A folder another category lists counts there, not in the category holding it.
    QHash<QByteArray, qint64> measured;
    for (const Row &r : std::as_const(rows))
        measured.insert(r.path, r.bytes);
    for (Row &r : rows) {
        for (const QString &inner : std::as_const(r.excluded))
            r.bytes -= measured.value(nativePath(inner));
        r.bytes = qMax<qint64>(0, r.bytes);
    }
    bool partial = false;
    QByteArray out = args.has("--json") ? "[" : "";
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const Row &r = rows[i];
        partial = partial || r.partial;
        if (args.has("--json")) {
            out += (i == 0 ? "\n" : ",\n") + QByteArray("{\"category\":") +
                   PathText::json(r.name.toUtf8()) + ",\"path\":" + PathText::json(r.path) +
                   ",\"bytes\":" + QByteArray::number(r.bytes) +
                   ",\"partial\":" + (r.partial ? "true" : "false") + '}';
        } else {
            out += Console::humanSize(r.bytes) + '\t' + r.name.toUtf8() + '\t' + r.path + '\n';
        }
    }
    console.out(args.has("--json") ? out + "\n]\n" : out);
    return partial ? Partial : Done;
}
