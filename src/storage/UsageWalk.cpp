#include "storage/UsageWalk.h"

#include "platform/BytePath.h"
#include "platform/Exclusions.h"
#include "platform/Locations.h"
#include "platform/MountTable.h"
#include "storage/StorageScanner.h"

#include <QSet>

#include <cerrno>
#include <climits>
#include <memory>
#include <unordered_set>
#include <vector>

namespace {

// Folders this deep or less keep their descriptor while their subfolders are walked;
// deeper ones are reopened by path, so depth never runs into the limit of open files.
constexpr int kHeldLevels = 64;

struct IdHash {
    size_t operator()(const FileId &id) const noexcept { return qHash(id); }
};

struct Child {
    QByteArray name;
    DirectoryReader::Node node;
    bool statted = false;
};

struct Frame {
    UsageWalk::Item self;
    std::unique_ptr<DirectoryReader> reader;
    std::vector<Child> children;
    size_t next = 0;
    UsageWalk::Totals totals;
};

void count(UsageWalk::Totals &totals, const DirectoryReader::Node &node)
{
    totals.apparentBytes += node.size;
    totals.allocatedBytes += node.allocatedBytes;
}

void add(UsageWalk::Totals &into, const UsageWalk::Totals &from)
{
    into.apparentBytes += from.apparentBytes;
    into.allocatedBytes += from.allocatedBytes;
    into.partial = into.partial || from.partial;
}

void list(Frame &frame, int depth)
{
    DirectoryReader &reader = *frame.reader;
    DirectoryReader::Kind hint;
    while (const char *name = reader.next(hint)) {
        Child child;
        child.name = QByteArray(name);
        child.statted = reader.statChild(name, child.node);
        // Gone since the listing: nothing to count.
        if (!child.statted && errno == ENOENT)
            continue;
        frame.children.push_back(std::move(child));
    }
    if (depth >= kHeldLevels)
        frame.reader->close();
}

} // namespace

std::optional<UsageWalk::Totals> UsageWalk::run(const QByteArray &root, Visitor &visitor,
                                                const CancelToken &cancel)
{
    m_error = 0;
    m_items.store(0, std::memory_order_relaxed);
    if (!root.startsWith('/') || root.contains('\0')) {
        m_error = EINVAL;
        return std::nullopt;
    }
    const Locations &loc = Locations::current();
    const bool staysOnDevice = loc.storageStaysOnDevice;
    QSet<QByteArray> skipped;
    for (const QString &mount : loc.skippedMounts)
        skipped.insert(StorageScanner::standardized(nativePath(mount)));
    // Mounts over folders of the same device are left out too; the table has them by
    // their real paths, the walk by the path it was given.
    QSet<QByteArray> mountsBelow;
    if (staysOnDevice) {
        const QByteArray real = realPath(root).value_or(root);
        for (const MountTable::Mount &m : MountTable::mountsBelow(real, MountTable::read())) {
            const QByteArray rest = m.mountPoint.mid(real == "/" ? 0 : real.size());
            mountsBelow.insert(root == "/" ? rest : root + rest);
        }
    }
    std::unordered_set<FileId, IdHash> seenLinks;
    const Exclusions exclusions = Exclusions::current();
    if (exclusions.isExcluded(root)) {
        Item self;
        self.name = root;
        self.path = root;
        self.excluded = Excluded::Settings;
        self.counted = false;
        DirectoryReader::statPath(root.constData(), self.node);
        self.node.size = 0;
        self.node.allocatedBytes = 0;
        visitor.item(self, 0);
        return Totals{};
    }

    std::vector<Frame> stack;
    {
        Frame top;
        top.self.name = root;
        top.self.path = root;
        top.reader = std::make_unique<DirectoryReader>();
        const bool opened = root.size() < PATH_MAX
                                ? top.reader->open(root.constData(), true)
                                : top.reader->openAnyLength(root.constData(), size_t(root.size()));
        if (!opened) {
            const int error = top.reader->error();
            if (error != ENOTDIR || !DirectoryReader::statPath(root.constData(), top.self.node)) {
                m_error = error;
                return std::nullopt;
            }
            m_items.fetch_add(1, std::memory_order_relaxed);
            visitor.item(top.self, 0);
            Totals totals;
            count(totals, top.self.node);
            return totals;
        }
        if (!top.reader->statSelf(top.self.node)) {
            m_error = errno;
            return std::nullopt;
        }
        count(top.totals, top.self.node);
        m_items.fetch_add(1, std::memory_order_relaxed);
        visitor.enter(top.self, 0);
        list(top, 0);
        stack.push_back(std::move(top));
    }
    const quint64 device = stack.front().self.node.id.device;

    while (!stack.empty()) {
        if (cancel.isCancelled())
            return std::nullopt;
        const int depth = int(stack.size()) - 1;
        Frame &frame = stack.back();
        if (frame.next == frame.children.size()) {
            visitor.leave(frame.self, frame.totals, depth);
            Totals totals = frame.totals;
            stack.pop_back();
            if (stack.empty())
                return totals;
            add(stack.back().totals, totals);
            continue;
        }
        Child &child = frame.children[frame.next++];
        m_items.fetch_add(1, std::memory_order_relaxed);
        Item item;
        item.name = std::move(child.name);
        item.path = BytePath::join(frame.self.path, item.name);
        item.node = child.node;
        if (!child.statted) {
            item.readError = true;
            item.counted = false;
            frame.totals.partial = true;
            visitor.item(item, depth + 1);
            continue;
        }
        if (!item.isFolder()) {
            // A file with several names counts where it is met first.
            if (item.node.linkCount >= 2 && !seenLinks.insert(item.node.id).second)
                item.counted = false;
            else
                count(frame.totals, item.node);
            visitor.item(item, depth + 1);
            continue;
        }
        if (staysOnDevice && item.node.id.device != device) {
            item.excluded = Excluded::OtherFileSystem;
        } else if (skipped.contains(item.path)) {
            item.excluded = Excluded::Rule;
        } else if (mountsBelow.contains(item.path)) {
            item.excluded = Excluded::OtherFileSystem;
        } else if (exclusions.isExcludedId(item.node.id) || exclusions.isExcluded(item.path)) {
            item.excluded = Excluded::Settings;
        }
        if (item.excluded != Excluded::None) {
            // Its bytes belong to its own file system.
            item.counted = false;
            item.node.size = 0;
            item.node.allocatedBytes = 0;
            visitor.item(item, depth + 1);
            continue;
        }
        Frame next;
        next.reader = std::make_unique<DirectoryReader>();
        const bool opened =
            frame.reader->isOpen()
                ? next.reader->openChild(*frame.reader, item.name.constData())
                : next.reader->openAnyLength(item.path.constData(), size_t(item.path.size()));
        DirectoryReader::Node self;
        if (!opened || !next.reader->statSelf(self) || self.id != item.node.id) {
            // Cannot be entered (or became a link since it was listed): its own blocks
            // count, as du counts them.
            item.readError = opened || next.reader->error() != ELOOP;
            count(frame.totals, item.node);
            frame.totals.partial = frame.totals.partial || item.readError;
            visitor.item(item, depth + 1);
            continue;
        }
        next.self = std::move(item);
        count(next.totals, next.self.node);
        visitor.enter(next.self, depth + 1);
        list(next, depth + 1);
        stack.push_back(std::move(next));
    }
    return Totals{};
}
