#pragma once

#include "exec/CancelToken.h"
#include "platform/DirectoryReader.h"

#include <QByteArray>

#include <atomic>
#include <optional>

// Visits every file and folder below one folder, depth first, the way `du -x` counts
// them: links are never followed (except the final link of the folder asked for), the
// walk stays on that folder's device and leaves out the mounts below it and the
// platform's skipped mount points and the folders excluded in Settings, and a file with
// several names counts once, where the walk meets it first. Names are the file system's bytes.
// Nothing of the tree is kept: a visitor writes or sums what it needs as the walk goes. Blocks;
// call off the main thread.
class UsageWalk {
public:
    // Rule: a mount point the platform never measures; Settings: a folder the user excluded.
    enum class Excluded : quint8 { None, OtherFileSystem, Rule, Settings };

    struct Item {
        QByteArray name; // the last component; for the folder walked, its whole path
        QByteArray path;
        DirectoryReader::Node node; // lstat; zero sizes for an excluded folder
        bool readError = false;     // could not be read (a folder: could not be listed)
        Excluded excluded = Excluded::None;
        // Counted in the totals: false for an excluded folder and for a file's second name.
        bool counted = true;

        bool isFolder() const { return node.kind == DirectoryReader::Kind::Directory; }
    };

    struct Totals {
        qint64 apparentBytes = 0;  // as du -sb counts
        qint64 allocatedBytes = 0; // as du -sB1 counts
        bool partial = false;      // something below could not be read
    };

    class Visitor {
    public:
        virtual ~Visitor() = default;
        // A folder that is listed, before its contents; the walked folder has depth 0.
        virtual void enter(const Item &folder, int depth) = 0;
        // Anything not listed: files, links, and folders excluded or unreadable.
        virtual void item(const Item &item, int depth) = 0;
        // After the folder's contents, with its totals.
        virtual void leave(const Item &folder, const Totals &totals, int depth) = 0;
    };

    // `root` is an absolute, standardized path. Nothing when it cannot be read (error()
    // says why) or the token was cancelled. A root that is not a folder is one item; a root
    // in an excluded folder is one excluded item of no size.
    std::optional<Totals> run(const QByteArray &root, Visitor &visitor,
                              const CancelToken &cancel = {});
    int error() const { return m_error; }
    // Items met so far; may be read from another thread while the walk runs.
    quint64 itemsSeen() const { return m_items.load(std::memory_order_relaxed); }

private:
    int m_error = 0;
    std::atomic<quint64> m_items{0};
};
