#include "app/AppState.h"
#include "cleaning/DeepCleanViewModel.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Folders by their bytes, so names that are not valid UTF-8 can be made.
void makeFolders(const QByteArray &path)
{
    QByteArray sofar;
    for (const QByteArray &part : path.split('/')) {
        sofar += part;
        ::mkdir(sofar.constData(), 0755);
        sofar += '/';
    }
}

void writeBytes(const QByteArray &path, qint64 size)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY(fd >= 0);
    const QByteArray data(size, 'n');
    QCOMPARE(::write(fd, data.constData(), data.size()), ssize_t(size));
    ::close(fd);
}

} // namespace

class tst_DeepCleanViewModel : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;

    QByteArray home() const { return QFile::encodeName(m_env->home()); }
    static void settle(DeepCleanViewModel &model)
    {
        model.waitForTasks();
        QCoreApplication::processEvents();
    }
    QSet<QByteArray> found(const DeepCleanViewModel &model) const
    {
        QSet<QByteArray> paths;
        for (const NodeModuleTarget &t : model.targets())
            paths.insert(t.nativePath.mid(home().size() + 1));
        return paths;
    }

private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void search_data()
    {
        QTest::addColumn<QList<QByteArray>>("folders");
        QTest::addColumn<QList<QByteArray>>("listed");
        using L = QList<QByteArray>;
        QTest::newRow("depth 5 found, 6 not")
            << L{"a/b/c/d/node_modules/pkg", "a/b/c/d/e/node_modules"} << L{"a/b/c/d/node_modules"};
        QTest::newRow("nested listed once")
            << L{"web/node_modules/left-pad/node_modules/x"} << L{"web/node_modules"};
        QTest::newRow("line feed in a folder name")
            << L{"Projects/real", "Projects\n/evil/node_modules"}
            << L{"Projects\n/evil/node_modules"};
        QTest::newRow("not valid UTF-8") << L{"caf\xe9/node_modules"} << L{"caf\xe9/node_modules"};
        QTest::newRow("Trash and tools' folders")
            << L{".local/share/Trash/files/node_modules", ".vscode/extensions/x/node_modules",
                 ".npm-global/lib/node_modules", "app/node_modules"}
            << L{"app/node_modules"};
        QTest::newRow("a name that only ends so") << L{"app/my_node_modules"} << L{};
    }
    void search()
    {
        QFETCH(QList<QByteArray>, folders);
        QFETCH(QList<QByteArray>, listed);
        for (const QByteArray &f : folders)
            makeFolders(home() + '/' + f);
        // A link named node_modules, and one to a folder holding one, are not followed.
        makeFolders(QFile::encodeName(m_env->root()) + "/outside/node_modules");
        QVERIFY(::symlink((QFile::encodeName(m_env->root()) + "/outside").constData(),
                          (home() + "/linked").constData()) == 0);
        QVERIFY(::symlink((QFile::encodeName(m_env->root()) + "/outside/node_modules").constData(),
                          (home() + "/node_modules").constData()) == 0);
        for (const QByteArray &l : listed)
            writeBytes(home() + '/' + l + "/index.js", 3 << 20);

        AppState state;
        DeepCleanViewModel model;
        model.scan(&state);
        settle(model);
        QCOMPARE(found(model), QSet<QByteArray>(listed.cbegin(), listed.cend()));
        for (const NodeModuleTarget &t : model.targets()) {
            QVERIFY2(t.sizeMB >= 3 && t.sizeMB < 4.1, qPrintable(QString::number(t.sizeMB)));
            QCOMPARE(t.lastModified, QDate::currentDate().toString("yyyy-MM-dd"));
            QVERIFY(!t.isSelected);
        }
        QVERIFY(!state.isScanning());
    }

    void clean_data()
    {
        QTest::addColumn<int>("ticked");
        QTest::addColumn<QString>("change"); // to the second folder after the scan
        QTest::addColumn<QString>("logged");
        QTest::newRow("nothing ticked") << 0 << "none" << QString();
        QTest::newRow("both") << 2 << "none"
                              << "[info] Successfully trashed 2/2 node_modules.";
        QTest::newRow("one vanished") << 2 << "vanish"
                                      << "[info] Successfully trashed 1/2 node_modules.";
        QTest::newRow("one replaced") << 2 << "replace"
                                      << "[info] Successfully trashed 1/2 node_modules.";
    }
    void clean()
    {
        QFETCH(int, ticked);
        QFETCH(QString, change);
        QFETCH(QString, logged);
        makeFolders(home() + "/one/node_modules");
        makeFolders(home() + "/two/node_modules");
        AppState state;
        DeepCleanViewModel model;
        model.scan(&state);
        settle(model);
        QCOMPARE(model.targets().size(), 2);
        if (ticked == 2)
            model.setAllSelected(true);
        QCOMPARE(model.allSelected(), ticked == 2);
        const QString two = m_env->home() + "/two/node_modules";
        if (change == "vanish")
            QVERIFY(QDir(two).removeRecursively());
        if (change == "replace")
            QVERIFY(QDir().rename(two, two + ".listed") && QDir().mkpath(two));
        const QUuid before = model.targets().first().id;
        QSignalSpy banner(&state, &AppState::scanStatusMessageChanged);
        QSignalSpy finished(&model, &DeepCleanViewModel::cleanFinished);
        m_env->clearLog();

        model.cleanSelected(&state);
        settle(model);

        QStringList lines;
        for (const auto &[level, text] : m_env->log())
            if (text.contains("Successfully trashed"))
                lines << text;
        QCOMPARE(lines, logged.isEmpty() ? QStringList() : QStringList{logged});
        if (ticked == 0) {
            QCOMPARE(banner.count(), 0);
            QCOMPARE(model.targets().first().id, before);
            return;
        }
        QCOMPARE(finished.count(), 1);
        const auto report = finished.at(0).at(0).value<DeepCleanViewModel::CleanReport>();
        QCOMPARE(report.failures.size(), change == "none" ? 0 : 1);
        if (change != "none") {
            QCOMPARE(report.failures.first().path, two);
            QVERIFY(!report.failures.first().reason.isEmpty());
        }
        if (change == "replace") {
            QCOMPARE(report.failures.first().reason,
                     "node_modules changed since it was listed. Rescan and try again.");
            QVERIFY(QFileInfo::exists(two));
        }
        // What went to the Trash is not offered again; the folder put in its place is.
        QVERIFY(QFileInfo(m_env->home() + "/.local/share/Trash/files/node_modules").isDir());
        QCOMPARE(model.targets().size(), change == "replace" ? 1 : 0);
        QCOMPARE(state.scanStatusMessage(), QString());
    }
};

Q_DECLARE_METATYPE(DeepCleanViewModel::CleanReport)

QTEST_MAIN(tst_DeepCleanViewModel)
#include "tst_DeepCleanViewModel.moc"
