#include "finders/DuplicateGroup.h"

#include "exec/ProcessRunner.h"
#include "platform/BytePath.h"
#include "platform/FileProperties.h"

#include <QMap>

#include <algorithm>

double DuplicateGroup::wastedMB() const
{
    const auto freeing = std::count_if(children.begin(), children.end(),
                                       [](const FileItem &c) { return !c.freesNothing(); });
    // With every copy freeing space one must stay; else a copy that frees nothing stays.
    return sizeMB * double(freeing == children.size() ? qMax<qsizetype>(0, freeing - 1) : freeing);
}

QList<KeepRule> KeepRules::allCases()
{
    return {KeepRule::newest, KeepRule::oldest, KeepRule::shortestPath, KeepRule::insideFolder};
}

QString KeepRules::title(KeepRule rule)
{
    switch (rule) {
    case KeepRule::newest:
        return QStringLiteral("Keep the Newest");
    case KeepRule::oldest:
        return QStringLiteral("Keep the Oldest");
    case KeepRule::shortestPath:
        return QStringLiteral("Keep the Shortest Path");
    case KeepRule::insideFolder:
        return QStringLiteral("Keep the One Inside a Folder…");
    }
    return {};
}

QSet<QString> ticksByRule(const QList<DuplicateGroup> &groups, KeepRule rule,
                          const QByteArray &folder)
{
    QSet<QString> ticks;
    for (const DuplicateGroup &g : groups) {
        QList<FileItem> copies = g.children;
        std::stable_sort(copies.begin(), copies.end(),
                         [](const FileItem &a, const FileItem &b) { return a.path < b.path; });
        const auto bytes = [](const FileItem &c) {
            return c.nativePath.isEmpty() ? nativePath(c.path) : c.nativePath;
        };
        qsizetype kept = -1;
        for (qsizetype i = 0; i < copies.size(); ++i) {
            const FileItem &c = copies[i];
            bool better = false;
            switch (rule) {
            case KeepRule::newest:
                better = kept < 0 || c.identity.modifiedNs > copies[kept].identity.modifiedNs;
                break;
            case KeepRule::oldest:
                better = kept < 0 || c.identity.modifiedNs < copies[kept].identity.modifiedNs;
                break;
            case KeepRule::shortestPath:
                better = kept < 0 || bytes(c).size() < bytes(copies[kept]).size();
                break;
            case KeepRule::insideFolder:
                better =
                    kept < 0 && !folder.isEmpty() && BytePath::isStrictlyInside(bytes(c), folder);
                break;
            }
            if (better)
                kept = i;
        }
        if (kept < 0)
            continue;
        for (qsizetype i = 0; i < copies.size(); ++i) {
            if (i != kept && !copies[i].freesNothing())
                ticks.insert(copies[i].path);
        }
    }
    return ticks;
}

QList<DuplicateGroup> regroupDuplicates(const QList<FileItem> &items, const QString &searchText)
{
    QMap<QString, QList<FileItem>> byKey;
    for (const FileItem &item : items) {
        if (!searchText.isEmpty() && !item.path.contains(searchText, Qt::CaseInsensitive))
            continue;
        byKey[item.md5Hash].append(item);
    }
    QList<DuplicateGroup> groups;
    for (auto it = byKey.cbegin(); it != byKey.cend(); ++it) {
        DuplicateGroup g;
        g.md5Hash = it.key();
        g.children = it.value();
        g.sizeMB = g.children.isEmpty() ? 0 : g.children.first().sizeMB;
        g.sizeDesc = formatSizeMB(g.sizeMB);
        groups.append(g);
    }
    return groups;
}

namespace {

bool stillThere(const FileItem &copy)
{
    const std::optional<FileIdentity> now =
        FileIdentity::read(copy.nativePath.isEmpty() ? nativePath(copy.path) : copy.nativePath);
    return now && (copy.identity.isNull() || copy.identity.matches(*now));
}

} // namespace

QStringList groupsLosingEveryCopy(const QList<FileItem> &items, const QStringList &paths)
{
    const QSet<QString> going(paths.begin(), paths.end());
    QStringList named;
    // Every group, shown or not: a copy the search hides still counts as kept.
    for (const DuplicateGroup &g : regroupDuplicates(items, QString())) {
        const auto goes = [&](const FileItem &c) { return going.contains(c.path); };
        if (std::none_of(g.children.begin(), g.children.end(), goes))
            continue;
        const bool kept = std::any_of(g.children.begin(), g.children.end(),
                                      [&](const FileItem &c) { return !goes(c) && stillThere(c); });
        if (!kept)
            named << QStringLiteral("%1 (%2 copies)")
                         .arg(g.children.first().path.section(QLatin1Char('/'), -1))
                         .arg(g.copies());
    }
    return named;
}

namespace {

double valueOf(const DuplicateGroup &g, DuplicateComparator::Key key)
{
    switch (key) {
    case DuplicateComparator::Key::copies:
        return g.copies();
    case DuplicateComparator::Key::sizeMB:
        return g.sizeMB;
    case DuplicateComparator::Key::wastedMB:
        return g.wastedMB();
    }
    return 0;
}

} // namespace

int compareGroups(const DuplicateGroup &a, const DuplicateGroup &b, const DuplicateSortOrder &order)
{
    for (const DuplicateComparator &c : order) {
        const double x = valueOf(a, c.key);
        const double y = valueOf(b, c.key);
        if (x != y)
            return (c.descending ? x > y : x < y) ? -1 : 1;
    }
    return 0;
}

void sortDuplicateGroups(QList<DuplicateGroup> &groups, const DuplicateSortOrder &order)
{
    std::stable_sort(groups.begin(), groups.end(),
                     [&](const DuplicateGroup &a, const DuplicateGroup &b) {
                         return compareGroups(a, b, order) < 0;
                     });
}

bool duplicateGroupBefore(const DuplicateGroup &a, const DuplicateGroup &b,
                          const DuplicateSortOrder &order)
{
    const int c = compareGroups(a, b, order);
    return c < 0 || (c == 0 && a.md5Hash < b.md5Hash);
}

QList<DuplicateSort> DuplicateSorts::allCases()
{
    return {DuplicateSort::mostSpace, DuplicateSort::mostCopies, DuplicateSort::largestFile};
}

QString DuplicateSorts::title(DuplicateSort sort)
{
    switch (sort) {
    case DuplicateSort::mostSpace:
        return QStringLiteral("Most space freed");
    case DuplicateSort::mostCopies:
        return QStringLiteral("Most copies");
    case DuplicateSort::largestFile:
        return QStringLiteral("Largest file");
    }
    return {};
}

DuplicateSortOrder DuplicateSorts::order(DuplicateSort sort)
{
    using K = DuplicateComparator::Key;
    switch (sort) {
    case DuplicateSort::mostSpace:
        return {{K::wastedMB, true}, {K::copies, true}};
    case DuplicateSort::mostCopies:
        return {{K::copies, true}, {K::wastedMB, true}};
    case DuplicateSort::largestFile:
        return {{K::sizeMB, true}, {K::copies, true}};
    }
    return {};
}

std::optional<DuplicateSort> DuplicateSorts::selected(const DuplicateSortOrder &current)
{
    for (DuplicateSort sort : allCases()) {
        if (order(sort) == current)
            return sort;
    }
    return std::nullopt;
}

SelectionSummary selectionSummary(const DuplicateGroup &group, const QSet<QString> &checkedItems)
{
    int n = 0;
    int freeing = 0;
    for (const FileItem &child : group.children) {
        if (checkedItems.contains(child.path)) {
            ++n;
            freeing += child.freesNothing() ? 0 : 1;
        }
    }
    if (!group.children.isEmpty() && n == group.children.size())
        return {
            QStringLiteral("⚠️ Warning: All duplicates selected. This will delete all copies!"),
            true};
    if (n > 0)
        return {QStringLiteral("Space to free: %1x %2 = %3")
                    .arg(freeing)
                    .arg(formatSizeMB(group.sizeMB), formatSizeMB(group.sizeMB * freeing)),
                false};
    return {QStringLiteral("Select items to free up space"), false};
}
