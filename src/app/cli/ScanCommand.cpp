#include "app/cli/ScanCommand.h"

#include "app/cli/Console.h"
#include "platform/BytePath.h"
#include "platform/FileProperties.h"
#include "platform/PathText.h"
#include "storage/NcduExport.h"
#include "storage/StorageScanner.h"
#include "storage/UsageWalk.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Row {
    QByteArray path;
    qint64 bytes = 0;
    bool folder = false;
    bool partial = false;
};

// The walked folder's children and their totals, passing every step on to an export.
class ChildTotals : public UsageWalk::Visitor {
public:
    ChildTotals(bool apparent, UsageWalk::Visitor *next) : m_apparent(apparent), m_next(next) {}

    void enter(const UsageWalk::Item &folder, int depth) override
    {
        if (m_next)
            m_next->enter(folder, depth);
    }
    void item(const UsageWalk::Item &item, int depth) override
    {
        if (m_next)
            m_next->item(item, depth);
        if (depth == 1) {
            const qint64 bytes = !item.counted ? 0
                                 : m_apparent  ? item.node.size
                                               : item.node.allocatedBytes;
            rows.append({item.path, bytes, item.isFolder(), item.readError});
        }
    }
    void leave(const UsageWalk::Item &folder, const UsageWalk::Totals &totals, int depth) override
    {
        if (m_next)
            m_next->leave(folder, totals, depth);
        if (depth == 1)
            rows.append({folder.path, m_apparent ? totals.apparentBytes : totals.allocatedBytes,
                         true, totals.partial});
    }

    QList<Row> rows;

private:
    bool m_apparent;
    UsageWalk::Visitor *m_next;
};

// The folder a link given on the command line leads to, as the storage map follows it.
QByteArray followedRoot(const QByteArray &root)
{
    struct stat st;
    if (::lstat(root.constData(), &st) == 0 && S_ISLNK(st.st_mode) &&
        ::stat(root.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return realPath(root).value_or(root);
    return root;
}

} // namespace

QString ScanCommand::description() const
{
    return QStringLiteral(
        "Measures a folder and each item in it.\n\n"
        "Counts the way du -sB1 -x does (du -sb with\n"
        "--apparent-size): hard links once, links not followed, other file systems left\n"
        "out. Prints the items smallest first and the folder's total last, as\n"
        "du -h --max-depth=1 | sort -h shows them.");
}

QList<Command::Option> ScanCommand::options() const
{
    return {
        {"--json", {}, QStringLiteral("Print the totals as JSON")},
        {"--export", "FILE",
         QStringLiteral("Also write every file and folder in ncdu's export format "
                        "(\"-\": standard output)")},
        {"--threads", "N", QStringLiteral("Measure with N threads (not with --export)")},
        {"--apparent-size", {}, QStringLiteral("Count file sizes instead of disk blocks")},
    };
}

int ScanCommand::execute(const Arguments &args, Console &console)
{
    const QByteArray given = args.paths.first();
    const QByteArray root = followedRoot(absolute(given));
    const bool apparent = args.has("--apparent-size");
    const bool json = args.has("--json");
    int threads = StorageScanner::defaultThreadCount();
    if (args.has("--threads")) {
        bool ok = false;
        threads = args.value("--threads").toInt(&ok);
        if (!ok || threads < 1 || threads > 256)
            return usageError(console, QStringLiteral("--threads takes a number from 1 to 256"));
    }
    const bool exporting = args.has("--export");
    const QByteArray exportName = args.value("--export");
    const bool exportToOutput = exportName == "-";
    if (exporting && !exportToOutput &&
        (exportName.isEmpty() ||
         nativePath(decodeNativePath(exportName.constData(), exportName.size())) != exportName))
        return usageError(console, QStringLiteral("--export needs a file name in UTF-8"));
    if (exportToOutput && json)
        return usageError(console, QStringLiteral("--export - and --json both write to standard "
                                                  "output"));
    if (root.isEmpty())
        return usageError(console, QStringLiteral("cannot tell where ") +
                                       decodeNativePath(given.constData(), given.size()) +
                                       QStringLiteral(" is"));

    QList<Row> rows;
    Row total{root, 0, true, false};
    bool found = false;
    QString failure;
    if (exporting || apparent) {
        QFile output;
        QSaveFile file(decodeNativePath(exportName.constData(), exportName.size()));
        QIODevice *device = nullptr;
        if (exportToOutput) {
            std::fflush(stdout);
            if (!output.open(stdout, QIODevice::WriteOnly))
                return Partial;
            device = &output;
        } else if (exporting) {
            if (!file.open(QIODevice::WriteOnly)) {
                console.error(exportName, file.errorString());
                return Partial;
            }
            device = &file;
        }
        const CancelToken &cancel = console.interrupt();
        std::optional<NcduExport> writer;
        if (device)
            writer.emplace(device, cancel, QDateTime::currentSecsSinceEpoch());
        ChildTotals children(apparent, writer ? &*writer : nullptr);
        UsageWalk walk;
        std::optional<UsageWalk::Totals> totals;
        console.withProgress([&] { totals = walk.run(root, children, cancel); },
                             [&] { return QByteArray::number(walk.itemsSeen()) + " items"; });
        if (writer && !writer->ok()) {
            console.error(exportToOutput ? QByteArray("-") : exportName, device->errorString());
            return Partial;
        }
        if (console.interrupted())
            return Interrupted;
        if (!totals) {
            failure = qt_error_string(walk.error());
        } else {
            found = true;
            rows = children.rows;
            total.bytes = apparent ? totals->apparentBytes : totals->allocatedBytes;
            total.partial = totals->partial;
            if (writer && !writer->finish()) {
                console.error(given, QStringLiteral("only a folder can be exported"));
                return Partial;
            }
            if (exporting && !exportToOutput && !file.commit()) {
                console.error(exportName, file.errorString());
                return Partial;
            }
        }
        if (exportToOutput) {
            // The export is the output.
            output.close();
            if (!found)
                console.error(given, failure);
            return !found || total.partial ? Partial : Done;
        }
    } else {
        StorageScanner scanner(threads);
        std::optional<StorageEntry> entry;
        QList<StorageEntry> entries;
        console.withProgress(
            [&] {
                entries = scanner.children(root, console.interrupt());
                entry = scanner.entry(root, console.interrupt());
            },
            [&] { return QByteArray::number(scanner.folderReads()) + " folders"; });
        if (console.interrupted())
            return Interrupted;
        if (!entry) {
            failure = QStringLiteral("cannot be read");
        } else {
            found = true;
            total.bytes = entry->bytes;
            total.partial = entry->isPartial;
            total.folder = entry->isDirectory;
            for (const StorageEntry &e : entries)
                rows.append({e.nativePath, e.bytes, e.isDirectory, e.isPartial});
        }
    }
    if (!found) {
        console.error(given, failure);
        return Partial;
    }

    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row &a, const Row &b) { return a.bytes > b.bytes; });
    if (json) {
        QByteArray out = "{\"path\":" + PathText::json(total.path) +
                         ",\"bytes\":" + QByteArray::number(total.bytes) +
                         ",\"apparent\":" + (apparent ? "true" : "false") +
                         ",\"partial\":" + (total.partial ? "true" : "false") + ",\"children\":[";
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const Row &r = rows[i];
            out += (i == 0 ? "\n" : ",\n") + QByteArray("{\"path\":") + PathText::json(r.path) +
                   ",\"bytes\":" + QByteArray::number(r.bytes) +
                   ",\"folder\":" + (r.folder ? "true" : "false") +
                   ",\"partial\":" + (r.partial ? "true" : "false") + '}';
        }
        console.out(out + "\n]}\n");
    } else {
        // Paths as given, the way du prints them.
        QByteArray shown = given;
        while (shown.size() > 1 && shown.endsWith('/'))
            shown.chop(1);
        QByteArray out;
        for (auto r = rows.crbegin(); r != rows.crend(); ++r)
            out += Console::humanSize(r->bytes) + '\t' +
                   BytePath::join(shown, BytePath::lastName(r->path)) + '\n';
        console.out(out + Console::humanSize(total.bytes) + '\t' + shown + '\n');
    }
    if (total.partial) {
        console.error(given, QStringLiteral("some folders could not be read; the totals are "
                                            "lower bounds"));
        return Partial;
    }
    return Done;
}
