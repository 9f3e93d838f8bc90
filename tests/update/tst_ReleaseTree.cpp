#include "update/ReleaseTree.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

// A release folder holding the program and its list, then one thing more or less.
class tst_ReleaseTree : public QObject {
    Q_OBJECT

    static bool write(const QByteArray &path, const QByteArray &data)
    {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const bool ok =
            fd >= 0 && ::write(fd, data.constData(), size_t(data.size())) == data.size();
        return ::close(fd) == 0 && ok;
    }

private slots:
    void holdsOnlyListed_data()
    {
        QTest::addColumn<QByteArray>("change");
        QTest::addColumn<bool>("ours");
        QTest::newRow("exactly the listed files") << QByteArray() << true;
        QTest::newRow("a listed file missing") << QByteArray("remove") << true;
        QTest::newRow("an empty folder") << QByteArray("share/flatpak/") << false;
        QTest::newRow("a link in place of a folder") << QByteArray("link") << false;
        QTest::newRow("a line feed in a name") << QByteArray("bin/quillmar\nshare") << false;
        QTest::newRow("a name that is not UTF-8") << QByteArray("share/caf\xe9") << false;
    }
    void holdsOnlyListed()
    {
        QFETCH(QByteArray, change);
        QFETCH(bool, ours);
        QTemporaryDir dir;
        const QByteArray top = QFile::encodeName(dir.path()) + "/Quillmar";
        QVERIFY(QDir().mkpath(QFile::decodeName(top + "/bin")));
        QVERIFY(QDir().mkpath(QFile::decodeName(top + "/share/quillmar")));
        QVERIFY(write(top + "/bin/quillmar", "program"));
        QVERIFY(write(top + "/share/quillmar/manifest", "bin/quillmar\nshare/quillmar/manifest\n"));
        if (change == "remove") {
            QCOMPARE(::unlink(top + "/bin/quillmar"), 0);
        } else if (change == "link") { // the same files, reached through a link
            QVERIFY(QDir(dir.path()).rename("Quillmar/bin", "elsewhere"));
            QCOMPARE(::symlink(QFile::encodeName(dir.path()) + "/elsewhere", top + "/bin"), 0);
        } else if (change.endsWith('/')) {
            QVERIFY(QDir().mkpath(QFile::decodeName(top + '/' + change)));
        } else if (!change.isEmpty()) {
            QVERIFY(write(top + '/' + change, "theirs"));
        }

        QCOMPARE(ReleaseTree::holdsOnlyListed(top), ours);
        ::unlink(top + '/' + change); // QDir cannot remove a name that is not UTF-8
    }
};

QTEST_GUILESS_MAIN(tst_ReleaseTree)
#include "tst_ReleaseTree.moc"
