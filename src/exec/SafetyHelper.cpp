#include "exec/SafetyHelper.h"

#include "exec/AppHost.h"
#include "platform/BytePath.h"
#include "platform/DirectoryReader.h"
#include "platform/Exclusions.h"
#include "platform/FileDescriptor.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"
#include "platform/RemovalHub.h"
#include "platform/Trash.h"

#include <QDir>
#include <QHash>
#include <QMutex>
#include <QSet>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Deeper than any real tree; a loop of bind mounts cannot keep a walk going.
constexpr int kMaxDepth = 4096;

using BytePath::isStrictlyInside;
using BytePath::lastName;
using BytePath::parentOf;

QString display(const QByteArray &path)
{
    return decodeNativePath(path.constData(), path.size());
}

// Folds an absolute path as BytePath::folded does, for text.
QString foldAbsolute(const QString &path)
{
    QStringList parts;
    for (const QString &part : path.split(QLatin1Char('/'))) {
        if (part.isEmpty() || part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts.append(part);
    }
    return QLatin1Char('/') + parts.join(QLatin1Char('/'));
}

QByteArray expandTilde(const QByteArray &path, const QByteArray &home)
{
    if (path == "~")
        return home;
    if (path.startsWith("~/"))
        return home + path.mid(1);
    return path;
}

// Empty when the path is not absolute: such a path names nothing we may judge.
QByteArray standardized(const QByteArray &path, const QByteArray &home)
{
    const QByteArray p = expandTilde(path, home);
    if (!p.startsWith('/'))
        return {};
    return BytePath::folded(p);
}

std::optional<FileId> idOf(const QByteArray &path, bool followLast)
{
    struct stat st;
    const int r = followLast ? ::stat(path.constData(), &st) : ::lstat(path.constData(), &st);
    if (r != 0)
        return std::nullopt;
    return FileId{quint64(st.st_dev), quint64(st.st_ino)};
}

FileId idOf(const struct stat &st)
{
    return FileId{quint64(st.st_dev), quint64(st.st_ino)};
}

// The protected entries of one table, as text (written and resolved) and as the
// (device, inode) they had when the table was first used.
struct Rules {
    QList<QByteArray> homes;                  // the home, written and resolved
    std::optional<FileId> homeId;             // the home's folder
    QList<QByteArray> itself;                 // protect only themselves
    QList<std::pair<QByteArray, bool>> trees; // protect what is below; true: holds the home
    QSet<QByteArray> ancestors;               // folders holding the home or an entry
    QSet<FileId> equalIds;                    // the entries themselves and their ancestors
    QHash<FileId, bool> treeIds;              // trees other than "/"; true: holds the home

    bool insideHome(const QByteArray &path) const
    {
        for (const QByteArray &h : homes) {
            if (h != "/" && isStrictlyInside(path, h))
                return true;
        }
        return false;
    }

    // The text rules, for a standardised absolute path.
    bool textAllows(const QByteArray &path) const
    {
        if (path == "/" || itself.contains(path) || ancestors.contains(path))
            return false;
        const bool inHome = insideHome(path);
        for (const auto &[tree, holdsHome] : trees) {
            if (path == tree)
                return false;
            if (tree != "/" && isStrictlyInside(path, tree)) {
                // In the user's own home only the home rules hold (/root, /var/home/x).
                if (inHome && holdsHome)
                    continue;
                return false;
            }
        }
        return true;
    }

    // The same rules by identity; `chain` holds the item's folder and every folder above.
    bool idsAllow(const std::optional<FileId> &item, const QList<FileId> &chain) const
    {
        if (item && (equalIds.contains(*item) || treeIds.contains(*item)))
            return false;
        const bool inHome = homeId && chain.contains(*homeId);
        for (const FileId &id : chain) {
            const auto tree = treeIds.constFind(id);
            if (tree != treeIds.cend() && !(inHome && tree.value()))
                return false;
        }
        return true;
    }
};

void addAncestors(Rules &r, const QByteArray &path)
{
    for (QByteArray up = parentOf(path); up != path;) {
        r.ancestors.insert(up);
        if (const auto id = idOf(up, true))
            r.equalIds.insert(*id);
        if (up == "/")
            break;
        up = parentOf(up);
    }
}

// The path written and, when it differs, with every link resolved.
QList<QByteArray> spellings(const QByteArray &path)
{
    QList<QByteArray> out{path};
    if (const auto real = realPath(path); real && *real != path)
        out.append(*real);
    return out;
}

std::shared_ptr<const Rules> buildRules(const Locations &loc)
{
    auto r = std::make_shared<Rules>();
    const QByteArray home = standardized(nativePath(loc.home), {});
    if (!home.isEmpty()) {
        r->homes = spellings(home);
        r->homeId = idOf(home, true);
    }
    const auto entry = [&](const QString &text) {
        return standardized(expandTilde(nativePath(text), home), home);
    };
    QList<QByteArray> guarded = r->homes;
    for (const QString &text : loc.protectedItself) {
        const QByteArray e = entry(text);
        if (e.isEmpty())
            continue;
        for (const QByteArray &s : spellings(e)) {
            r->itself.append(s);
            guarded.append(s);
        }
        if (const auto id = idOf(e, true))
            r->equalIds.insert(*id);
    }
    for (const QString &text : loc.protectedTrees) {
        const QByteArray e = entry(text);
        if (e.isEmpty())
            continue;
        const auto holds = [&](const QByteArray &tree) {
            for (const QByteArray &h : r->homes) {
                if (h == tree || isStrictlyInside(h, tree))
                    return true;
            }
            return false;
        };
        bool holdsHome = false;
        for (const QByteArray &s : spellings(e))
            holdsHome = holdsHome || holds(s);
        for (const QByteArray &s : spellings(e)) {
            r->trees.append({s, holdsHome});
            guarded.append(s);
        }
        if (const auto id = idOf(e, true)) {
            if (e == "/")
                r->equalIds.insert(*id);
            else
                r->treeIds.insert(*id, holdsHome);
        }
    }
    for (const QByteArray &g : guarded)
        addAncestors(*r, g);
    return r;
}

QMutex gRulesMutex;
// Tables are never freed, so their address names them for the life of the process.
QHash<const Locations *, std::shared_ptr<const Rules>> gRules;
QMutex gHookMutex;
std::function<void()> gBeforeOpenHook;

std::shared_ptr<const Rules> currentRules()
{
    const Locations &loc = Locations::current();
    {
        QMutexLocker lock(&gRulesMutex);
        if (const auto found = gRules.constFind(&loc); found != gRules.cend())
            return found.value();
    }
    // Built outside the lock: it reads the disk. Two threads may build the same rules.
    std::shared_ptr<const Rules> built = buildRules(loc);
    QMutexLocker lock(&gRulesMutex);
    return *gRules.insert(&loc, built);
}

QList<FileId> chainByPath(QByteArray folder)
{
    QList<FileId> chain;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        if (const auto id = idOf(folder, true))
            chain.append(*id);
        if (folder == "/")
            break;
        folder = parentOf(folder);
    }
    return chain;
}

// The open folder and every folder above it, reached through ".." from the descriptor
// so that no path is read again.
QList<FileId> chainByDescriptor(int folderFd)
{
    QList<FileId> chain;
    struct stat st;
    if (::fstat(folderFd, &st) != 0)
        return chain;
    chain.append(idOf(st));
    int current = ::openat(folderFd, "..", kFolderOpenFlags);
    for (int depth = 0; current >= 0 && depth < kMaxDepth; ++depth) {
        if (::fstat(current, &st) != 0 || idOf(st) == chain.last())
            break; // the root is its own parent
        chain.append(idOf(st));
        const int up = ::openat(current, "..", kFolderOpenFlags);
        ::close(current);
        current = up;
    }
    if (current >= 0)
        ::close(current);
    return chain;
}

// Where a judged item's folder was when it was judged: its path with every link
// resolved, and what it was.
struct JudgedFolder {
    QByteArray realPath; // empty when it did not exist
    std::optional<FileId> id;
};

// The whole judgement of a standardised absolute path: as written, with its folder
// resolved, and by identity.
bool judge(const Rules &rules, const QByteArray &path, JudgedFolder *folder = nullptr)
{
    if (!rules.textAllows(path))
        return false;
    const QByteArray parent = parentOf(path);
    const std::optional<QByteArray> realParent = realPath(parent);
    if (!realParent) // nothing there to move; the move will say so
        return true;
    const QByteArray resolved = BytePath::join(*realParent, lastName(path));
    if (resolved != path && !rules.textAllows(resolved))
        return false;
    if (folder)
        *folder = {*realParent, idOf(*realParent, true)};
    return rules.idsAllow(idOf(resolved, false), chainByPath(*realParent));
}

// The same judgement of the child `name` of an open folder whose path, read back from
// the descriptor, is `folder`.
bool judgeOpened(const Rules &rules, int folderFd, const QByteArray &folder, const QByteArray &name)
{
    if (!rules.textAllows(BytePath::join(folder, name)))
        return false;
    struct stat st;
    std::optional<FileId> item;
    if (::fstatat(folderFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        item = idOf(st);
    return rules.idsAllow(item, chainByDescriptor(folderFd));
}

QString protectedReason()
{
    return QStringLiteral("This location is protected.");
}

void logRefusal(AppHost *appState, const QString &shown)
{
    if (appState)
        appState->addLog(QStringLiteral("stderr"), QStringLiteral("Safety Check Failed: ") + shown +
                                                       QStringLiteral(" is protected."));
}

void logFailure(AppHost *appState, const QString &shown, const QString &why)
{
    if (appState)
        appState->addLog(QStringLiteral("stderr"),
                         QStringLiteral("Failed to trash ") + shown + QStringLiteral(": ") + why);
}

// What is about to go from an open folder, for the announcement of the move.
RemovedItem aboutToGo(int folderFd, const QByteArray &path, const QByteArray &realFolder,
                      const std::optional<FileIdentity> &listed)
{
    RemovedItem item;
    item.movingSince = RemovedItem::now();
    item.path = path;
    item.resolvedPath = BytePath::join(realFolder, lastName(path));
    struct stat st;
    if (::fstatat(folderFd, lastName(path).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        item.identity = FileIdentity::fromStat(st);
        if (!S_ISDIR(st.st_mode))
            item.allocatedBytes = qint64(st.st_blocks) * 512;
    }
    if (listed)
        item.identity = *listed;
    return item;
}

void announce(RemovedItem item, const Trash::Result &result)
{
    item.trashed = result;
    item.movedBy = RemovedItem::now();
    RemovalHub::report(item);
}

// The names in an open folder; nothing when it cannot be listed.
std::optional<QList<QByteArray>> childNames(int folderFd)
{
    DirectoryReader reader;
    if (!reader.openAt(folderFd, "."))
        return std::nullopt;
    QList<QByteArray> names;
    DirectoryReader::Kind hint;
    while (const char *name = reader.next(hint))
        names.append(QByteArray(name));
    return names;
}

SafetyHelper::Outcome moveChecked(const QByteArray &path,
                                  const std::optional<FileIdentity> &expected, AppHost *appState,
                                  const QByteArray &origin = {})
{
    const QString shown = display(path);
    const std::shared_ptr<const Rules> rules = currentRules();
    const QByteArray p = path.contains('\0')
                             ? QByteArray()
                             : standardized(path, nativePath(Locations::current().home));
    JudgedFolder judged;
    if (p.isEmpty() || !judge(*rules, p, &judged)) {
        logRefusal(appState, shown);
        return {false, protectedReason()};
    }
    std::function<void()> hook;
    {
        QMutexLocker lock(&gHookMutex);
        hook = gBeforeOpenHook;
    }
    if (hook)
        hook();
    const auto refuseChanged = [&] {
        const QString why = SafetyHelper::changedReason(p);
        logFailure(appState, shown, why);
        return SafetyHelper::Outcome{false, why};
    };
    // The folder judged, reached again without following any link: one swapped in on
    // the way since the judgement fails the open, another folder put in its place fails
    // the comparison. From here on the item is reached only through this descriptor.
    FileDescriptor folder;
    if (judged.realPath.isEmpty())
        errno = ENOENT; // it was not there when judged
    else
        folder = FileDescriptor::openFolderWithoutLinks(judged.realPath);
    if (!folder.valid()) {
        if (errno == ELOOP)
            return refuseChanged();
        const QString why = qt_error_string(errno);
        logFailure(appState, shown, why);
        return {false, why};
    }
    struct stat opened;
    if (judged.id && (::fstat(folder.get(), &opened) != 0 || idOf(opened) != *judged.id))
        return refuseChanged();
    const std::optional<QByteArray> real = Trash::openedFolderPath(folder.get());
    if (!real) {
        const QString why = QStringLiteral("Cannot tell where the item's folder is");
        logFailure(appState, shown, why);
        return {false, why};
    }
    if (!judgeOpened(*rules, folder.get(), *real, lastName(p))) {
        logRefusal(appState, shown);
        return {false, protectedReason()};
    }
    // The updater's own old copy is no user data: the user's lists do not hold it back.
    if (origin.isEmpty()) {
        const Exclusions exclusions = Exclusions::current();
        QString why = exclusions.removalRefusal(p);
        if (why.isEmpty())
            why = exclusions.removalRefusal(BytePath::join(*real, lastName(p)));
        if (!why.isEmpty()) {
            logFailure(appState, shown, why);
            return {false, why};
        }
    }
    if (expected) {
        const std::optional<FileIdentity> now = FileIdentity::readAt(folder.get(), lastName(p));
        if (now && !expected->matches(*now))
            return refuseChanged();
    }
    const RemovedItem going = aboutToGo(folder.get(), p, *real, expected);
    const Trash::Result result = Trash::moveChildToTrash(folder.get(), lastName(p), origin);
    if (result.ok) {
        announce(going, result);
        if (appState)
            appState->addLog(QStringLiteral("info"), QStringLiteral("Trashed: ") + shown);
    } else {
        logFailure(appState, shown, result.error);
    }
    return {result.ok, result.error};
}

SafetyHelper::ContentsOutcome emptyFolder(const QString &folder,
                                          const std::optional<FileIdentity> &expected,
                                          AppHost *appState, const SafetyHelper::RemoveFn &remove,
                                          const QList<QByteArray> &kept = {})
{
    SafetyHelper::ContentsOutcome outcome;
    const std::optional<QByteArray> bytes = SafetyHelper::exactNativePath(folder);
    if (!bytes || !SafetyHelper::isNativePathSafeToDelete(*bytes))
        return outcome;
    const std::shared_ptr<const Rules> rules = currentRules();
    const QByteArray base = standardized(*bytes, nativePath(Locations::current().home));
    const Exclusions exclusions = Exclusions::current();
    if (!exclusions.isReadable() || exclusions.isExcluded(base)) {
        outcome.refusal = exclusions.removalRefusal(base);
        logFailure(appState, folder, outcome.refusal);
        return outcome;
    }
    // The folder as the table names it, a final link followed; then only through this
    // descriptor, so that what is emptied is the folder compared.
    const FileDescriptor dir(::open(base.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st;
    if (!dir.valid() || ::fstat(dir.get(), &st) != 0)
        return outcome;
    if (expected && !expected->matches(FileIdentity::fromStat(st))) {
        outcome.refusal = SafetyHelper::changedReason(base);
        logFailure(appState, folder, outcome.refusal);
        return outcome;
    }
    const std::optional<QByteArray> real = Trash::openedFolderPath(dir.get());
    const std::optional<QList<QByteArray>> names = childNames(dir.get());
    if (!real || !names)
        return outcome;
    for (const QByteArray &name : *names) {
        if (kept.contains(name))
            continue;
        // Children travel as their bytes: a name that is not valid UTF-8 is moved as
        // itself, never as the look-alike its text would name.
        const QString shown = display(BytePath::join(base, name));
        if (!judgeOpened(*rules, dir.get(), *real, name))
            continue;
        // What is or holds an excluded folder stays, under either spelling.
        if (!exclusions.removalRefusal(BytePath::join(base, name)).isEmpty() ||
            !exclusions.removalRefusal(BytePath::join(*real, name)).isEmpty())
            continue;
        if (remove) {
            if (nativePath(shown) != BytePath::join(base, name)) {
                logFailure(appState, shown,
                           QStringLiteral("The item's name cannot be passed on exactly"));
                continue;
            }
            const auto [ok, error] = remove(shown);
            if (ok)
                ++outcome.moved;
            else
                logFailure(appState, shown, error);
            continue;
        }
        const RemovedItem going =
            aboutToGo(dir.get(), BytePath::join(base, name), *real, std::nullopt);
        const Trash::Result result = Trash::moveChildToTrash(dir.get(), name);
        if (result.ok) {
            announce(going, result);
            ++outcome.moved;
        } else {
            logFailure(appState, shown, result.error);
        }
    }
    if (appState)
        appState->addLog(QStringLiteral("info"), QStringLiteral("Moved ") +
                                                     QString::number(outcome.moved) +
                                                     QStringLiteral(" items from ") + folder +
                                                     QStringLiteral(" to the Trash"));
    return outcome;
}

} // namespace

QString SafetyHelper::standardizedPath(const QString &path)
{
    const QString p = Locations::current().expandTilde(path);
    if (p.isEmpty())
        return p;
    if (!p.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(p);
    return foldAbsolute(p);
}

bool SafetyHelper::isPathSafeToDelete(const QString &path)
{
    const std::optional<QByteArray> bytes = exactNativePath(path);
    return bytes && isNativePathSafeToDelete(*bytes);
}

std::optional<QByteArray> SafetyHelper::exactNativePath(const QString &path)
{
    if (path.contains(QChar(0)))
        return std::nullopt;
    const QByteArray bytes = nativePath(path);
    if (decodeNativePath(bytes.constData(), bytes.size()) != path)
        return std::nullopt;
    return bytes;
}

bool SafetyHelper::isNativePathSafeToDelete(const QByteArray &path)
{
    // Every system call stops at a NUL, so the text after one would go unjudged.
    if (path.isEmpty() || path.contains('\0'))
        return false;
    const QByteArray p = standardized(path, nativePath(Locations::current().home));
    return !p.isEmpty() && judge(*currentRules(), p);
}

void SafetyHelper::setBeforeOpenHook(std::function<void()> hook)
{
    QMutexLocker lock(&gHookMutex);
    gBeforeOpenHook = std::move(hook);
}

SafetyHelper::Outcome SafetyHelper::moveNativeToTrash(const QByteArray &path, AppHost *appState)
{
    return moveChecked(path, std::nullopt, appState);
}

SafetyHelper::Outcome SafetyHelper::moveNativeToTrash(const QByteArray &path,
                                                      const FileIdentity &expected,
                                                      AppHost *appState)
{
    return moveChecked(path, expected, appState);
}

SafetyHelper::Outcome SafetyHelper::moveNativeToTrashFrom(const QByteArray &path,
                                                          const QByteArray &origin)
{
    return moveChecked(path, std::nullopt, nullptr, origin);
}

QString SafetyHelper::changedReason(const QByteArray &path)
{
    return display(lastName(path)) +
           QStringLiteral(" changed since it was listed. Rescan and try again.");
}

bool SafetyHelper::moveToTrash(const QString &path, AppHost *appState)
{
    // A text that does not stand for exactly one name on disk would move another item.
    const std::optional<QByteArray> bytes = exactNativePath(path);
    if (!bytes) {
        logRefusal(appState, path);
        return false;
    }
    return moveNativeToTrash(*bytes, appState).ok;
}

int SafetyHelper::trashContents(const QString &folder, AppHost *appState, RemoveFn remove)
{
    return emptyFolder(folder, std::nullopt, appState, std::move(remove)).moved;
}

SafetyHelper::ContentsOutcome SafetyHelper::trashContents(const QString &folder,
                                                          const FileIdentity &expected,
                                                          AppHost *appState,
                                                          const QList<QByteArray> &kept)
{
    return emptyFolder(folder, expected, appState, {}, kept);
}
