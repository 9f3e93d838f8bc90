#include "finders/FileSearch.h"

#include "platform/BytePath.h"
#include "platform/DirectoryReader.h"
#include "platform/Exclusions.h"
#include "platform/FileProperties.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Folders this deep keep their descriptor while their subfolders are walked; deeper ones
// are opened by path, so depth never runs into the limit of open files.
constexpr int kHeldLevels = 64;

class Walker {
public:
    Walker(const FileSearch::Scope &scope, FileList &out, const CancelToken &cancel)
        : m_scope(scope), m_out(out), m_cancel(cancel)
    {
    }

    // Mounts and excluded folders below a root, spelled from it.
    std::unordered_set<std::string> prunedPaths;
    Exclusions exclusions = Exclusions::current();

    bool skipsFolder(const char *name) const
    {
        if (m_scope.skipsHidden && name[0] == '.')
            return true;
        for (const QByteArray &skipped : m_scope.skippedNames) {
            if (skipped == name)
                return true;
        }
        return false;
    }

    // Lists the folder `name` of the open folder `parentFd` (or `path` itself when
    // `parentFd` is -1), which sits `depth` levels below its root.
    void walk(int parentFd, const char *name, std::string &path, int depth)
    {
        if (m_cancel.isCancelled())
            return;
        // A root is followed when it is a link; a folder too deep to have its parent held
        // open is reached by its path.
        const bool opened = parentFd >= 0 ? m_reader.openAt(parentFd, name)
                            : depth == 0  ? m_reader.open(path.c_str(), true)
                                          : m_reader.openAnyLength(path.c_str(), path.size());
        if (!opened)
            return;
        // An excluded folder reached by another path is the same folder.
        DirectoryReader::Node self;
        if (!exclusions.excludedFolders().isEmpty() && m_reader.statSelf(self) &&
            exclusions.isExcludedId(self.id)) {
            m_reader.close();
            return;
        }
        m_out.enterFolder(path.data(), path.size());
        const bool descends = m_scope.maxDepth < 0 || depth + 1 < m_scope.maxDepth;
        const size_t base = path.size();
        const bool endsInSlash = base > 0 && path.back() == '/';
        std::vector<std::string> folders;
        DirectoryReader::Kind kind;
        while (const char *child = m_reader.next(kind)) {
            if (!prunedPaths.empty()) {
                if (!endsInSlash)
                    path += '/';
                path += child;
                const bool pruned = prunedPaths.count(path) > 0;
                path.resize(base);
                if (pruned)
                    continue;
            }
            DirectoryReader::Node node;
            if (kind == DirectoryReader::Kind::Regular || kind == DirectoryReader::Kind::Unknown) {
                if (!m_reader.statChild(child, node))
                    continue;
                kind = node.kind;
                if (kind == DirectoryReader::Kind::Regular) {
                    if (node.size > m_scope.largerThan)
                        m_out.add(child, strlen(child), node.identity());
                    continue;
                }
            }
            if (kind == DirectoryReader::Kind::Directory && descends && !skipsFolder(child))
                folders.emplace_back(child);
        }
        if (folders.empty()) {
            m_reader.close();
            return;
        }
        const int fd = depth < kHeldLevels ? m_reader.takeDescriptor() : -1;
        m_reader.close();
        for (const std::string &folder : folders) {
            if (!endsInSlash)
                path += '/';
            path += folder;
            walk(fd, folder.c_str(), path, depth + 1);
            path.resize(base);
        }
        if (fd >= 0)
            ::close(fd);
    }

private:
    const FileSearch::Scope &m_scope;
    FileList &m_out;
    const CancelToken &m_cancel;
    DirectoryReader m_reader; // one listing buffer for the whole walk
};

// The root's own name, as find's -name sees it: trailing slashes do not count.
QByteArray baseName(QByteArray path)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 || path == "/" ? path : path.mid(slash + 1);
}

} // namespace

namespace FileSearch {

Scope homeDuplicates()
{
    return {
        5, 1024 * 1024, true, {QByteArrayLiteral("Library"), QByteArrayLiteral("node_modules")}};
}

FileList list(const QList<QByteArray> &roots, const Scope &scope,
              const QList<MountTable::Mount> &mounts, const CancelToken &cancel)
{
    FileList out;
    Walker walker(scope, out, cancel);
    for (const QByteArray &root : roots) {
        if (cancel.isCancelled())
            break;
        if (root.isEmpty() || root.contains('\0'))
            continue;
        // The root is followed when it is a link.
        struct stat st;
        if (::stat(root.constData(), &st) != 0)
            continue;
        if (S_ISREG(st.st_mode)) {
            if (st.st_size > scope.largerThan)
                out.addPath(root, FileIdentity::fromStat(st));
            continue;
        }
        if (!S_ISDIR(st.st_mode) || scope.maxDepth == 0 ||
            walker.skipsFolder(baseName(root).constData()) || walker.exclusions.isExcluded(root))
            continue;
        // Mounts are named by their real paths; the walk spells paths from the root.
        walker.prunedPaths.clear();
        QByteArray given = root;
        while (given.size() > 1 && given.endsWith('/'))
            given.chop(1);
        const QByteArray real = realPath(given).value_or(given);
        for (const MountTable::Mount &m : MountTable::mountsBelow(real, mounts)) {
            if (!MountTable::isRemoteOrFuse(m.fsType))
                continue;
            const QByteArray below = m.mountPoint.mid(real == "/" ? 0 : real.size());
            const QByteArray spelled = root.endsWith('/') ? root + below.mid(1) : root + below;
            walker.prunedPaths.insert(spelled.toStdString());
        }
        for (const QByteArray &folder : walker.exclusions.excludedFolders()) {
            for (const QByteArray &from : {given, real}) {
                if (BytePath::isStrictlyInside(folder, from)) {
                    const QByteArray below = folder.mid(from == "/" ? 0 : from.size());
                    walker.prunedPaths.insert((given == "/" ? below : given + below).toStdString());
                }
            }
        }
        std::string path = root.toStdString();
        walker.walk(-1, nullptr, path, 0);
    }
    return out;
}

} // namespace FileSearch
