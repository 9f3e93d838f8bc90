#include "finders/FileSearch.h"
#include "finders/HomeSearch.h"
#include "platform/FileProperties.h"
#include "support/TestEnvironment.h"

#include <QTest>

#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 MiB = 1048576;

} // namespace

class tst_FileSearch : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;

    // A file of `size` bytes that holds no data.
    void sized(const QByteArray &relative, qint64 size = MiB + 1)
    {
        const QByteArray path = QFile::encodeName(m_env->home()) + '/' + relative;
        std::filesystem::create_directories(
            std::filesystem::path(path.toStdString()).parent_path());
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::ftruncate(fd, size) != 0)
            qFatal("cannot write %s", path.constData());
        ::close(fd);
    }

private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    // The walk lists what the find line it replaced listed, on a tree with every case that
    // line prunes or passes over, reached through a link to the home.
    void listsWhatTheFindLineListed()
    {
        namespace fs = std::filesystem;
        const QByteArray home = QFile::encodeName(m_env->home());
        sized("top.bin");
        sized("exactly-one-mebibyte", MiB);
        sized(".hidden-file");
        sized("Documents/Library"); // a file of that name is no folder
        sized(".cache/in-hidden-folder");
        sized("Library/Caches/in-library");
        sized("Code/app/node_modules/pkg/in-node-modules");
        sized("1/2/3/4/level-five");
        sized("1/2/3/4/5/level-six");
        sized("1/2/3/4/Library"); // a file at the deepest level
        sized("Documents/line\nfeed");
        sized("Documents/-leading-dash");
        sized("Documents/quote\"d 'name'");
        sized("Documents/not-utf8-\xff\xfe");
        sized("Documents/\xe9t\xe9/inside-latin1-folder");
        sized("share/remote-file");
        sized("disk/local-file");
        fs::create_directory_symlink((home + "/Documents").toStdString(),
                                     (home + "/link-to-folder").toStdString());
        fs::create_symlink((home + "/top.bin").toStdString(),
                           (home + "/link-to-file").toStdString());
        QVERIFY(::mkfifo(home + "/pipe", 0600) == 0);
        const QByteArray link = QFile::encodeName(m_env->root()) + "/linked-home";
        fs::create_directory_symlink(home.toStdString(), link.toStdString());

        MountTable::Mount remote;
        remote.mountPoint = realPath(home).value() + "/share";
        remote.fsType = "fuse.sshfs";
        MountTable::Mount local;
        local.mountPoint = realPath(home).value() + "/disk";
        local.fsType = "ext4";
        const QList<MountTable::Mount> mounts{remote, local};

        const QString root = QFile::decodeName(link);
        QList<QByteArray> byFind = HomeSearch::find(
            {root}, {"-maxdepth", "5"},
            {"-type", "d", "(", "-name", "Library", "-o", "-name", ".*", "-o", "-name",
             "node_modules", ")", "-prune", "-o", "-type", "f", "-size", "+1M", "-print0"},
            mounts, nullptr, CancelToken());
        const FileList listed = FileSearch::list({link}, FileSearch::homeDuplicates(), mounts);
        QList<QByteArray> byWalk = listed.paths();
        std::sort(byFind.begin(), byFind.end());
        std::sort(byWalk.begin(), byWalk.end());
        QCOMPARE(byWalk, byFind);
        QCOMPARE(byWalk.size(), 11);
        for (qsizetype i = 0; i < listed.size(); ++i)
            QCOMPARE(listed.at(i).identity, FileIdentity::read(listed.path(i)).value());
    }
};

QTEST_GUILESS_MAIN(tst_FileSearch)
#include "tst_FileSearch.moc"
