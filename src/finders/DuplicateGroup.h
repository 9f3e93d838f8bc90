#pragma once

#include "finders/FileItem.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// One group of copies as the Duplicates screen shows it. Its identity is its key.
struct DuplicateGroup {
    QString md5Hash;
    double sizeMB = 0; // one copy
    QString sizeDesc;
    QList<FileItem> children; // ascending path

    const QString &id() const { return md5Hash; }
    int copies() const { return int(children.size()); }
    // What keeping one copy frees: copies that free nothing (hard links, shared blocks)
    // count for nothing, and one of them can be the copy kept.
    double wastedMB() const;
};

// Which copy of each group "Select" keeps; every other copy that frees space is ticked.
enum class KeepRule { newest, oldest, shortestPath, insideFolder };

namespace KeepRules {
QList<KeepRule> allCases();
QString title(KeepRule rule);
} // namespace KeepRules

// The ticks "Select" sets: in every group, all copies but the one the rule keeps, never a
// copy that frees nothing. A group with no copy inside `folder` (insideFolder) gets none:
// the rule names no copy to keep there. Ties go to the first copy in path order.
QSet<QString> ticksByRule(const QList<DuplicateGroup> &groups, KeepRule rule,
                          const QByteArray &folder = {});

// The scan's flat list regrouped by key, in key order. With a search text, only copies
// whose path contains it (ignoring case) remain; a group left with one copy still shows.
QList<DuplicateGroup> regroupDuplicates(const QList<FileItem> &items, const QString &searchText);

// The groups that would have no copy left once `paths` went, each named by its first
// copy's file name and its number of copies. A copy counts as left only while it is
// still there as it was listed (another file at its path is not it). Reads the disk:
// call off the main thread.
QStringList groupsLosingEveryCopy(const QList<FileItem> &items, const QStringList &paths);

// One comparator of a sort order over groups.
struct DuplicateComparator {
    enum class Key { copies, sizeMB, wastedMB };
    Key key = Key::wastedMB;
    bool descending = true;
    friend bool operator==(const DuplicateComparator &, const DuplicateComparator &) = default;
};
using DuplicateSortOrder = QList<DuplicateComparator>;

// Applies the comparators in turn; groups that tie on all of them keep their order.
void sortDuplicateGroups(QList<DuplicateGroup> &groups, const DuplicateSortOrder &order);
// Whether `a` sorts before `b` by the comparators, ties going by key: the order of
// regrouped groups once sorted.
bool duplicateGroupBefore(const DuplicateGroup &a, const DuplicateGroup &b,
                          const DuplicateSortOrder &order);

enum class DuplicateSort { mostSpace, mostCopies, largestFile };

namespace DuplicateSorts {
// The cases in menu order.
QList<DuplicateSort> allCases();
QString title(DuplicateSort sort);
DuplicateSortOrder order(DuplicateSort sort);
// The case the sort menu marks: the first whose order is exactly `current`; none after a
// column sort.
std::optional<DuplicateSort> selected(const DuplicateSortOrder &current);
} // namespace DuplicateSorts

// The line under a group's copies: the all-copies warning, the space the ticked copies
// free (those that free anything), or the invitation to tick some.
struct SelectionSummary {
    QString text;
    bool isWarning = false; // shown red and bold
    friend bool operator==(const SelectionSummary &, const SelectionSummary &) = default;
};
SelectionSummary selectionSummary(const DuplicateGroup &group, const QSet<QString> &checkedItems);
