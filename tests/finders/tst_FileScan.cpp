#include "finders/FileScan.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QTest>

#include <filesystem>

#include <sys/resource.h>

class tst_FileScan : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;

    QString write(const QString &relative, qint64 size)
    {
        const QString path = m_env->home() + '/' + relative;
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || !f.resize(size))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void largestFilesAreSortedAndLimited_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("expected");
        QTest::newRow("none") << 0 << 0;
        QTest::newRow("two") << 2 << 2;
        QTest::newRow("beyond the count") << 50 << 5;
    }
    void largestFilesAreSortedAndLimited()
    {
        QFETCH(int, limit);
        QFETCH(int, expected);
        const QString root = m_env->home();
        write("a/small.txt", 10);
        const QString big = write("a/b/c/big.bin", 5000);
        const QString hidden = write(".hidden/cache.db", 3000);
        write("tie1", 700);
        write("x/tie2", 700);
        // Links are not followed or listed, folders are not files.
        std::filesystem::create_symlink(big.toStdString(), (root + "/link").toStdString());
        std::filesystem::create_directory_symlink((root + "/a").toStdString(),
                                                  (root + "/dirlink").toStdString());

        const auto files = FileScan::largestFiles(root, limit);
        QCOMPARE(files.size(), expected);
        if (expected >= 2) {
            QCOMPARE(files[0], (FileScan::SizedPath{big, 5000, big.toUtf8()}));
            QCOMPARE(files[1], (FileScan::SizedPath{hidden, 3000, hidden.toUtf8()}));
        }
        if (expected == 5) {
            QCOMPARE(files[2].bytes, 700);
            QCOMPARE(files[3].bytes, 700);
            QCOMPARE(files[4].bytes, 10);
        }
    }

    void largestFilesOfWhatIsNoFolder()
    {
        QVERIFY(FileScan::largestFiles(m_env->home() + "/missing", 10).isEmpty());
        QVERIFY(FileScan::largestFiles(write("plain", 100), 10).isEmpty());
        QVERIFY(FileScan::largestFiles(QString(), 10).isEmpty());
    }

    // Depth never loses a file, even with few descriptors to spare (256 here), and a chosen folder
    // that is a link is walked (links inside it are not).
    void largestFilesReachesDeepAndThroughTheChosenLink_data()
    {
        QTest::addColumn<int>("depth");
        QTest::addColumn<bool>("throughLink");
        QTest::newRow("600 levels") << 600 << false;
        QTest::newRow("600 levels, chosen through a link") << 600 << true;
        QTest::newRow("shallow, chosen through a link") << 2 << true;
    }
    void largestFilesReachesDeepAndThroughTheChosenLink()
    {
        QFETCH(int, depth);
        QFETCH(bool, throughLink);
        QString relative = "top";
        for (int i = 0; i < depth; ++i)
            relative += "/d";
        const QString deep = write(relative + "/deep.bin", 1048576);
        const QString near = write("top/near.bin", 10);
        std::filesystem::create_directory_symlink(m_env->root().toStdString(),
                                                  (m_env->home() + "/top/d/up").toStdString());
        QString folder = m_env->home() + "/top";
        const QString link = m_env->root() + "/chosen";
        if (throughLink) {
            std::filesystem::create_directory_symlink(folder.toStdString(), link.toStdString());
            folder = link;
        }

        struct rlimit saved;
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &saved), 0);
        struct rlimit few = saved;
        few.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 256);
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &few), 0);
        const auto files = FileScan::largestFiles(folder, 10);
        ::setrlimit(RLIMIT_NOFILE, &saved);

        QCOMPARE(files.size(), 2);
        QCOMPARE(files[0].bytes, 1048576);
        QCOMPARE(files[0].path, folder + deep.mid(m_env->home().size() + 4));
        QCOMPARE(files[1].path, folder + "/near.bin");
    }

    void cancelledWalkFindsNothing()
    {
        write("a/file", 10);
        CancelToken cancel;
        cancel.cancel();
        QVERIFY(FileScan::largestFiles(m_env->home(), 10, cancel).isEmpty());
        QCOMPARE(FileScan::largestFiles(m_env->home(), 10).size(), 1);
    }

    // A folder whose name is not valid UTF-8 is still walked.
    void largestFilesWalksBytesNames()
    {
        const std::string odd = m_env->home().toStdString() + "/caf\xe9";
        std::filesystem::create_directory(odd);
        {
            FILE *raw = std::fopen((odd + "/inside.bin").c_str(), "w");
            QVERIFY(raw);
            std::fputs("twelve bytes", raw);
            std::fclose(raw);
        }
        const auto files = FileScan::largestFiles(m_env->home(), 10);
        QCOMPARE(files.size(), 1);
        QCOMPARE(files[0].bytes, 12);
        QVERIFY(files[0].path.endsWith("/inside.bin"));
        QCOMPARE(files[0].nativePath, QByteArray(odd.c_str()) + "/inside.bin");
        // QTemporaryDir cannot remove names that are not valid UTF-8.
        std::filesystem::remove_all(odd);
    }

    void modifiedDay()
    {
        QVERIFY(FileScan::modifiedDay(m_env->home() + "/missing").isEmpty());
        QVERIFY(FileScan::modifiedDay(QString()).isEmpty());
        const QString path = write("dated", 1);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime(QDate(2023, 2, 28), QTime(12, 0)),
                              QFileDevice::FileModificationTime));
        f.close();
        QCOMPARE(FileScan::modifiedDay(path), QStringLiteral("2023-02-28"));
    }
};

QTEST_GUILESS_MAIN(tst_FileScan)
#include "tst_FileScan.moc"
