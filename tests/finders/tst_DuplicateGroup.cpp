#include "finders/DuplicateGroup.h"

#include <QTest>

namespace {

FileItem copy(const QString &path, const QString &key, double mb)
{
    return {path, "Duplicate", key, mb, std::nullopt, {}};
}

DuplicateGroup group(const QString &key, double mb, int copies)
{
    DuplicateGroup g;
    g.md5Hash = key;
    g.sizeMB = mb;
    for (int i = 0; i < copies; ++i)
        g.children.append(copy(QString("/h/%1/%2").arg(key).arg(i), key, mb));
    return g;
}

QStringList keys(const QList<DuplicateGroup> &groups)
{
    QStringList k;
    for (const auto &g : groups)
        k << g.md5Hash;
    return k;
}

} // namespace

class tst_DuplicateGroup : public QObject {
    Q_OBJECT
private slots:
    void regroupsByKeyInKeyOrder()
    {
        const QList<FileItem> items = {copy("/h/a/x.bin", "2097152-aa", 2),
                                       copy("/h/b/x.bin", "2097152-aa", 2),
                                       copy("/h/c/Report.pdf", "10485760-bb", 10),
                                       copy("/h/d/report copy.pdf", "10485760-bb", 10)};
        auto groups = regroupDuplicates(items, QString());
        QCOMPARE(keys(groups), QStringList({"10485760-bb", "2097152-aa"}));
        QCOMPARE(groups[1].copies(), 2);
        QCOMPARE(groups[1].sizeDesc, QStringLiteral("2.00 MB"));
        QCOMPARE(groups[0].wastedMB(), 10.0);
        QCOMPARE(groups[0].children[0].path, QStringLiteral("/h/c/Report.pdf"));

        // A search text matching one copy leaves a group of one that frees nothing.
        groups = regroupDuplicates(items, "REPORT COPY");
        QCOMPARE(groups.size(), 1);
        QCOMPARE(groups[0].copies(), 1);
        QCOMPARE(groups[0].wastedMB(), 0.0);
        QVERIFY(regroupDuplicates(items, "nowhere").isEmpty());
        QVERIFY(regroupDuplicates({}, QString()).isEmpty());
        QCOMPARE(DuplicateGroup().wastedMB(), 0.0);
    }

    void sortOrders_data()
    {
        QTest::addColumn<int>("sort");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("expected");
        // a: 100 MB x2 (frees 100); b: 10 MB x5 (frees 40); c: 30 MB x5 (frees 120);
        // d: 100 MB x3 (frees 200); e: 10 MB x5, a tie with b on everything.
        QTest::newRow("mostSpace") << int(DuplicateSort::mostSpace) << "Most space freed"
                                   << QStringList({"d", "c", "a", "b", "e"});
        QTest::newRow("mostCopies") << int(DuplicateSort::mostCopies) << "Most copies"
                                    << QStringList({"c", "b", "e", "d", "a"});
        QTest::newRow("largestFile") << int(DuplicateSort::largestFile) << "Largest file"
                                     << QStringList({"d", "a", "c", "b", "e"});
    }
    void sortOrders()
    {
        QFETCH(int, sort);
        QFETCH(QString, title);
        QFETCH(QStringList, expected);
        QList<DuplicateGroup> groups = {group("a", 100, 2), group("b", 10, 5), group("c", 30, 5),
                                        group("d", 100, 3), group("e", 10, 5)};
        const auto s = DuplicateSort(sort);
        sortDuplicateGroups(groups, DuplicateSorts::order(s));
        QCOMPARE(keys(groups), expected);
        QCOMPARE(DuplicateSorts::title(s), title);
        QCOMPARE(DuplicateSorts::selected(DuplicateSorts::order(s)), std::optional(s));
    }

    void sortMenuSelection()
    {
        using K = DuplicateComparator::Key;
        QCOMPARE(DuplicateSorts::allCases(),
                 QList<DuplicateSort>({DuplicateSort::mostSpace, DuplicateSort::mostCopies,
                                       DuplicateSort::largestFile}));
        // A column sort, or the right keys in another direction or order, selects nothing.
        QCOMPARE(DuplicateSorts::selected({{K::copies, true}}), std::nullopt);
        QCOMPARE(DuplicateSorts::selected({{K::wastedMB, false}, {K::copies, false}}),
                 std::nullopt);
        QCOMPARE(DuplicateSorts::selected({{K::copies, true}, {K::sizeMB, true}}), std::nullopt);
        QCOMPARE(DuplicateSorts::selected({}), std::nullopt);

        QList<DuplicateGroup> groups = {group("a", 30, 2), group("b", 10, 4), group("c", 20, 3)};
        sortDuplicateGroups(groups, {{K::sizeMB, false}});
        QCOMPARE(keys(groups), QStringList({"b", "c", "a"}));
    }

    void selectionSummary_data()
    {
        QTest::addColumn<QStringList>("checked");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("warning");
        QTest::newRow("none") << QStringList() << "Select items to free up space" << false;
        QTest::newRow("other group's copy")
            << QStringList({"/h/z/0"}) << "Select items to free up space" << false;
        QTest::newRow("two of three") << QStringList({"/h/g/0", "/h/g/2"})
                                      << "Space to free: 2x 600.00 MB = 1.17 GB" << false;
        QTest::newRow("all")
            << QStringList({"/h/g/0", "/h/g/1", "/h/g/2"})
            << "⚠️ Warning: All duplicates selected. This will delete all copies!" << true;
    }
    void selectionSummary()
    {
        QFETCH(QStringList, checked);
        QFETCH(QString, text);
        QFETCH(bool, warning);
        const SelectionSummary s =
            ::selectionSummary(group("g", 600, 3), QSet<QString>(checked.begin(), checked.end()));
        QCOMPARE(s.text, text);
        QCOMPARE(s.isWarning, warning);
    }

    void emptyGroupIsNeverAllSelected()
    {
        QCOMPARE(::selectionSummary(DuplicateGroup(), {}).text,
                 QStringLiteral("Select items to free up space"));
    }

    void ruleNeverTicksTheLastCopy_data()
    {
        QTest::addColumn<int>("rule");
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<QString>("kept"); // per group, the copy left unticked; "-": none
        // Group a: /h/a/0 (new), /h/aa/long/1 (old), /h/a/2 (middle, a hard link).
        // Group b: /h/b/0 (old), /h/x/1 (new).
        QTest::newRow("newest") << int(KeepRule::newest) << QByteArray() << "/h/a/0 /h/x/1";
        QTest::newRow("oldest") << int(KeepRule::oldest) << QByteArray() << "/h/aa/long/1 /h/b/0";
        QTest::newRow("shortest path")
            << int(KeepRule::shortestPath) << QByteArray() << "/h/a/0 /h/b/0";
        QTest::newRow("inside a folder")
            << int(KeepRule::insideFolder) << QByteArray("/h/x") << "- /h/x/1";
        QTest::newRow("folder sharing a prefix only")
            << int(KeepRule::insideFolder) << QByteArray("/h/a") << "/h/a/0 -";
    }
    // Every group keeps at least one unticked copy; a copy that frees nothing (a hard link)
    // is never ticked, and may itself be the one kept.
    void ruleNeverTicksTheLastCopy()
    {
        QFETCH(int, rule);
        QFETCH(QByteArray, folder);
        QFETCH(QString, kept);
        DuplicateGroup a = group("a", 5, 3);
        a.children[0].identity.modifiedNs = 300;
        a.children[1].path = "/h/aa/long/1";
        a.children[1].identity.modifiedNs = 100;
        a.children[2].identity.modifiedNs = 200;
        a.children[2].linkCount = 2;
        DuplicateGroup b = group("b", 5, 2);
        b.children[0].identity.modifiedNs = 100;
        b.children[1].path = "/h/x/1";
        b.children[1].identity.modifiedNs = 200;
        const QSet<QString> ticks = ticksByRule({a, b}, KeepRule(rule), folder);
        const QStringList keptByGroup = kept.split(' ');
        for (int g = 0; g < 2; ++g) {
            const DuplicateGroup &group = g == 0 ? a : b;
            int unticked = 0;
            for (const FileItem &c : group.children) {
                const bool expectTick =
                    keptByGroup[g] != "-" && c.path != keptByGroup[g] && !c.freesNothing();
                QCOMPARE(ticks.contains(c.path), expectTick);
                unticked += ticks.contains(c.path) ? 0 : 1;
            }
            QVERIFY(unticked >= 1);
        }
    }

    void copiesThatFreeNothing_data()
    {
        QTest::addColumn<int>("links");      // names of copy 0
        QTest::addColumn<bool>("shared");    // copy 1 shares its blocks
        QTest::addColumn<double>("wasted");  // of three 4 MB copies
        QTest::addColumn<QString>("ticked"); // the summary with copies 0 and 1 ticked
        QTest::newRow("plain copies") << 1 << false << 8.0 << "Space to free: 2x 4.00 MB = 8.00 MB";
        // It can be the copy kept: the other two free their blocks.
        QTest::newRow("a hard-linked copy")
            << 2 << false << 8.0 << "Space to free: 1x 4.00 MB = 4.00 MB";
        QTest::newRow("both") << 2 << true << 4.0 << "Space to free: 0x 4.00 MB = 0.00 MB";
    }
    void copiesThatFreeNothing()
    {
        QFETCH(int, links);
        QFETCH(bool, shared);
        QFETCH(double, wasted);
        QFETCH(QString, ticked);
        DuplicateGroup g = group("k", 4, 3);
        g.children[0].linkCount = quint64(links);
        g.children[1].sharesData = shared;
        QCOMPARE(g.wastedMB(), wasted);
        QCOMPARE(::selectionSummary(g, {g.children[0].path, g.children[1].path}).text, ticked);
        QCOMPARE(g.children[0].sharingNote(),
                 links > 1 ? QStringLiteral("hard links, frees 0 B") : QString());
    }
};

QTEST_GUILESS_MAIN(tst_DuplicateGroup)
#include "tst_DuplicateGroup.moc"
