#include "exec/SafetyHelper.h"
#include "platform/Locations.h"
#include "platform/MountTable.h"
#include "platform/Trash.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray enc(const QString &path)
{
    return QFile::encodeName(path);
}

QString errorText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

bool present(const QByteArray &path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

bool writeBytes(const QByteArray &path, const QByteArray &data)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, data.constData(), size_t(data.size())) == data.size();
    return ::close(fd) == 0 && written;
}

QByteArray readBytes(const QByteArray &path)
{
    QByteArray out;
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0)
        return out;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        out.append(buffer, n);
    ::close(fd);
    return out;
}

QList<QByteArray> entries(const QByteArray &folder)
{
    QList<QByteArray> names;
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return names;
    while (const dirent *e = ::readdir(dir)) {
        if (qstrcmp(e->d_name, ".") != 0 && qstrcmp(e->d_name, "..") != 0)
            names.append(e->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

int modeOf(const QByteArray &path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

QByteArray infoField(const QByteArray &infoFile, const QByteArray &key)
{
    for (const QByteArray &line : readBytes(infoFile).split('\n')) {
        if (line.startsWith(key + '='))
            return line.mid(key.size() + 1);
    }
    return {};
}

// Everything a failed move must leave as it was.
struct Snapshot {
    bool present = false;
    dev_t device = 0;
    ino_t inode = 0;
    QByteArray content;
    QByteArray linkTarget;

    static Snapshot of(const QByteArray &path)
    {
        Snapshot s;
        struct stat st;
        if (::lstat(path.constData(), &st) != 0)
            return s;
        s.present = true;
        s.device = st.st_dev;
        s.inode = st.st_ino;
        if (S_ISREG(st.st_mode))
            s.content = readBytes(path);
        if (S_ISLNK(st.st_mode)) {
            char target[4096];
            const ssize_t n = ::readlink(path.constData(), target, sizeof target);
            s.linkTarget = QByteArray(target, n > 0 ? n : 0);
        }
        return s;
    }
    bool operator==(const Snapshot &) const = default;
};

// Runs one move in a child process: as another user, or with a file size limit that
// makes the info file's write fail.
int runMoveHelper(int argc, char **argv)
{
    std::setlocale(LC_ALL, ""); // error texts in the same language as the test's
    Locations::setCurrent(Locations::forOs(Locations::Os::Linux, QString::fromLocal8Bit(argv[2])));
    if (argc > 4) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlim_t limit = rlim_t(std::atoll(argv[4]));
        const rlimit rl{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &rl);
    }
    const Trash::Result r = Trash::moveNativeToTrash(QByteArray(argv[3]));
    std::printf("%s\n%s", r.ok ? "ok" : "failed", r.ok ? "" : r.error.toLocal8Bit().constData());
    return r.ok ? 0 : 1;
}

} // namespace

class TestTrash : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_root;
    QString m_home;
    QByteArray m_cwd;
    const QByteArray m_uid = QByteArray::number(::getuid());

    QString trashFolder() const { return m_home + "/.local/share/Trash"; }
    QByteArray trashFiles() const { return enc(trashFolder() + "/files"); }
    QByteArray trashInfo() const { return enc(trashFolder() + "/info"); }

    // A file below the temp root, with its folders; returns its native path.
    QByteArray makeItem(const QString &relative, const QByteArray &content = "data")
    {
        const QString path = m_root + '/' + relative;
        QDir().mkpath(QFileInfo(path).path());
        writeBytes(enc(path), content);
        return enc(path);
    }

    void pointTopAt(const QString &top)
    {
        Trash::setMountTopResolver([top](const QString &path) {
            return path == top || path.startsWith(top + '/') ? top : QString();
        });
    }

    bool shmIsOtherDevice(QTemporaryDir &shm)
    {
        struct stat a, b;
        return shm.isValid() && ::stat(enc(shm.path()).constData(), &a) == 0 &&
               ::stat(enc(m_root).constData(), &b) == 0 && a.st_dev != b.st_dev;
    }

private slots:
    void init()
    {
        m_cwd = QDir::currentPath().toLocal8Bit();
        m_tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(m_tmp->isValid());
        m_root = QFileInfo(m_tmp->path()).canonicalFilePath();
        m_home = m_root + "/home";
        QVERIFY(QDir().mkpath(m_home));
        Locations::setCurrent(Locations::forOs(Locations::Os::Linux, m_home));
        Trash::setMountTopResolver({});
        Trash::setNoReplaceRenameAvailable(true);
    }

    void cleanup()
    {
        // Mounts a test made, deepest first, wherever a wrong move took them.
        QList<QByteArray> ours;
        for (const MountTable::Mount &m : MountTable::read()) {
            if (m.mountPoint.startsWith(enc(m_root) + '/'))
                ours.append(m.mountPoint);
        }
        std::sort(ours.begin(), ours.end(),
                  [](const QByteArray &a, const QByteArray &b) { return a.size() > b.size(); });
        for (const QByteArray &m : ours)
            ::umount2(m.constData(), MNT_DETACH);
        QVERIFY(::chdir(m_cwd.constData()) == 0);
        Trash::setMountTopResolver({});
        Trash::setNoReplaceRenameAvailable(true);
        Locations::resetCurrent();
        // QTemporaryDir removes by text and leaves names that are not valid UTF-8 behind.
        std::error_code ignored;
        std::filesystem::remove_all(enc(m_root).toStdString(), ignored);
        m_tmp.reset();
    }

    void homeTrashIsBuilt_data()
    {
        QTest::addColumn<QString>("existing");
        QTest::newRow("bare home") << "";
        QTest::newRow("with .local/share") << ".local/share";
        QTest::newRow("Trash already there") << ".local/share/Trash/files";
    }

    void homeTrashIsBuilt()
    {
        QFETCH(QString, existing);
        if (!existing.isEmpty())
            QVERIFY(QDir().mkpath(m_home + '/' + existing));
        // A move that lost its Trash must not land beside the current folder.
        QVERIFY(QDir().mkpath(m_root + "/cwd"));
        QVERIFY(::chdir(enc(m_root + "/cwd").constData()) == 0);

        const QByteArray item = makeItem("home/Documents/report.txt", "quarterly");
        const QDateTime before = QDateTime::currentDateTime().addSecs(-2);
        const Trash::Result r = Trash::moveToTrash(QString::fromLocal8Bit(item));
        QVERIFY2(r.ok, qPrintable(r.error));

        QCOMPARE(Trash::homeTrashFolder(), trashFolder());
        QCOMPARE(r.trashedPath, trashFolder() + "/files/report.txt");
        QVERIFY(!present(item));
        QCOMPARE(readBytes(trashFiles() + "/report.txt"), QByteArray("quarterly"));
        const QByteArray info = trashInfo() + "/report.txt.trashinfo";
        const QList<QByteArray> lines = readBytes(info).split('\n');
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], QByteArray("[Trash Info]"));
        QCOMPARE(lines[1], "Path=" + item);
        QVERIFY(lines[2].startsWith("DeletionDate="));
        const QDateTime when =
            QDateTime::fromString(QString::fromLatin1(lines[2].mid(13)), "yyyy-MM-dd'T'HH:mm:ss");
        QVERIFY(when.isValid());
        QVERIFY(when >= before && when <= QDateTime::currentDateTime().addSecs(2));
        QCOMPARE(lines[3], QByteArray());

        // Folders made here are private; what was there keeps its mode.
        QCOMPARE(modeOf(trashInfo()), 0700);
        if (!existing.endsWith("files"))
            QCOMPARE(modeOf(enc(trashFolder())), 0700);
        if (existing.isEmpty())
            QCOMPARE(modeOf(enc(m_home + "/.local/share")), 0700);
        QVERIFY(entries(enc(m_root + "/cwd")).isEmpty());
    }

    void infoPathEncoding_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("plain") << QByteArray("/a/b-c_d.e~(1)") << QByteArray("/a/b-c_d.e~(1)");
        QTest::newRow("space") << QByteArray("/a b") << QByteArray("/a%20b");
        QTest::newRow("newline") << QByteArray("/a\nb") << QByteArray("/a%0Ab");
        QTest::newRow("percent") << QByteArray("/100%") << QByteArray("/100%25");
        QTest::newRow("already escaped") << QByteArray("/%41") << QByteArray("/%2541");
        QTest::newRow("not UTF-8") << QByteArray("/caf\xe9") << QByteArray("/caf%E9");
        QTest::newRow("UTF-8") << QByteArray("/\xc3\xa9") << QByteArray("/%C3%A9");
        QTest::newRow("equals and hash") << QByteArray("/a=b#c") << QByteArray("/a%3Db%23c");
        QTest::newRow("relative") << QByteArray("sub/x y") << QByteArray("sub/x%20y");
    }

    void infoPathEncoding()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, encoded);
        QCOMPARE(Trash::encodeInfoPath(path), encoded);
        QCOMPARE(QByteArray::fromPercentEncoding(encoded), path);
    }

    void everyByteRoundTrips()
    {
        QByteArray all;
        for (int b = 1; b < 256; ++b)
            all += char(b);
        const QByteArray encoded = Trash::encodeInfoPath(all);
        for (const char c : encoded)
            QVERIFY2(c > ' ' && c < 127, qPrintable(QString::number(uchar(c))));
        QCOMPARE(QByteArray::fromPercentEncoding(encoded), all);
        QCOMPARE(Trash::infoText("/x", QDateTime(QDate(2026, 1, 2), QTime(13, 4, 5))),
                 QByteArray("[Trash Info]\nPath=/x\nDeletionDate=2026-01-02T13:04:05\n"));
    }

    void oddNames_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("asText");
        QTest::newRow("newline") << QByteArray("line\nbreak") << true;
        QTest::newRow("percent") << QByteArray("100% sure") << true;
        QTest::newRow("escape look-alike") << QByteArray("a%0Ab") << true;
        QTest::newRow("UTF-8") << QByteArray("r\xc3\xa9sum\xc3\xa9") << true;
        QTest::newRow("not UTF-8") << QByteArray("caf\xe9") << false;
        QTest::newRow("leading dot and dash") << QByteArray(".-x") << true;
    }

    void oddNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, asText);
        const QByteArray folder = enc(m_root + "/odd");
        QVERIFY(::mkdir(folder.constData(), 0755) == 0);
        const QByteArray item = folder + '/' + name;
        QVERIFY(writeBytes(item, name));

        const Trash::Result r =
            asText ? Trash::moveToTrash(QString::fromUtf8(item)) : Trash::moveNativeToTrash(item);
        QVERIFY2(r.ok, qPrintable(r.error));
        QVERIFY(!present(item));
        QCOMPARE(readBytes(trashFiles() + '/' + name), name);
        const QByteArray info = trashInfo() + '/' + name + ".trashinfo";
        QCOMPARE(readBytes(info).count('\n'), 3);
        QCOMPARE(QByteArray::fromPercentEncoding(infoField(info, "Path")), item);
        // Qt cannot remove a name that is not UTF-8, so the temp folder would stay behind.
        ::unlink((trashFiles() + '/' + name).constData());
        ::unlink(info.constData());
    }

    void collisions_data()
    {
        QTest::addColumn<bool>("noReplace");
        QTest::newRow("no-replace rename") << true;
        QTest::newRow("file system without it") << false;
    }

    void collisions()
    {
        QFETCH(bool, noReplace);
        Trash::setNoReplaceRenameAvailable(noReplace);
        for (int i = 0; i < 3; ++i) {
            const QByteArray item = makeItem(QString("d%1/notes").arg(i), QByteArray::number(i));
            const Trash::Result r = Trash::moveNativeToTrash(item);
            QVERIFY2(r.ok, qPrintable(r.error));
            const QByteArray name = i == 0 ? "notes" : "notes." + QByteArray::number(i + 1);
            QCOMPARE(r.trashedPath, QString::fromLocal8Bit(trashFiles() + '/' + name));
            QCOMPARE(readBytes(trashFiles() + '/' + name), QByteArray::number(i));
            QCOMPARE(QByteArray::fromPercentEncoding(
                         infoField(trashInfo() + '/' + name + ".trashinfo", "Path")),
                     item);
        }

        QCOMPARE(entries(trashInfo()),
                 QList<QByteArray>({"notes.2.trashinfo", "notes.3.trashinfo", "notes.trashinfo"}));

        // A stray item in files/ without its info file is never replaced.
        QVERIFY(writeBytes(trashFiles() + "/plan", "stray"));
        const QByteArray item = makeItem("d9/plan", "mine");
        const Trash::Result r = Trash::moveNativeToTrash(item);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(readBytes(trashFiles() + "/plan"), QByteArray("stray"));
        QCOMPARE(readBytes(trashFiles() + "/plan.2"), QByteArray("mine"));
        QVERIFY(!present(trashInfo() + "/plan.trashinfo"));
        QVERIFY(present(trashInfo() + "/plan.2.trashinfo"));

        // Same for a stray empty folder, which a plain rename of a folder would replace.
        QVERIFY(::mkdir((trashFiles() + "/box").constData(), 0700) == 0);
        QVERIFY(QDir().mkpath(m_root + "/d10/box"));
        const Trash::Result folder = Trash::moveNativeToTrash(enc(m_root + "/d10/box"));
        QVERIFY2(folder.ok, qPrintable(folder.error));
        QVERIFY(present(trashFiles() + "/box"));
        QVERIFY(present(trashFiles() + "/box.2"));
    }

    void longNames_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("copies");
        QTest::newRow("250 bytes") << QByteArray(250, 'a') << 1;
        QTest::newRow("255 bytes") << QByteArray(255, 'b') << 1;
        QTest::newRow("250 bytes, twice") << QByteArray(250, 'c') << 2;
        QTest::newRow("250 bytes of two-byte letters") << QByteArray("\xc3\xa9").repeated(125) << 2;
    }

    void longNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(int, copies);
        for (int i = 0; i < copies; ++i) {
            const QByteArray item = makeItem(QString("d%1/x").arg(i));
            const QByteArray longItem = enc(m_root + QString("/d%1/").arg(i)) + name;
            QVERIFY(::rename(item.constData(), longItem.constData()) == 0);
            const Trash::Result r = Trash::moveNativeToTrash(longItem);
            QVERIFY2(r.ok, qPrintable(r.error));
            QVERIFY(!present(longItem));
        }
        const QList<QByteArray> files = entries(trashFiles());
        const QList<QByteArray> infos = entries(trashInfo());
        QCOMPARE(files.size(), copies);
        QCOMPARE(infos.size(), copies);
        for (const QByteArray &trashed : files) {
            QVERIFY(trashed.size() + 10 <= 255);
            if (name.startsWith("\xc3"))
                QCOMPARE(QString::fromUtf8(trashed).toUtf8(), trashed); // not cut mid-letter
            const QByteArray info = trashInfo() + '/' + trashed + ".trashinfo";
            QVERIFY(infos.contains(trashed + ".trashinfo"));
            QVERIFY(QByteArray::fromPercentEncoding(infoField(info, "Path")).endsWith('/' + name));
        }
    }

    void givesUpAfterBoundedAttempts()
    {
        QVERIFY(QDir().mkpath(trashFolder() + "/info"));
        QVERIFY(writeBytes(trashInfo() + "/x.trashinfo", ""));
        for (int i = 2; i <= 10000; ++i)
            QVERIFY(writeBytes(trashInfo() + "/x." + QByteArray::number(i) + ".trashinfo", ""));
        const QByteArray item = makeItem("d/x");
        const Snapshot before = Snapshot::of(item);
        const Trash::Result r = Trash::moveNativeToTrash(item);
        QVERIFY(!r.ok);
        QVERIFY2(r.error.contains("Too many"), qPrintable(r.error));
        QCOMPARE(Snapshot::of(item), before);
        QVERIFY(entries(trashFiles()).isEmpty());
        QCOMPARE(entries(trashInfo()).size(), 10000);
    }

    void refusedInHome_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("error");
        const QString trash = ".local/share/Trash";
        QTest::newRow("missing item") << ""
                                      << "home/nothing" << errorText(ENOENT);
        QTest::newRow("missing folder") << ""
                                        << "home/none/x" << errorText(ENOENT);
        QTest::newRow("info/ is a file") << "info-file"
                                         << "home/doc" << errorText(ENOTDIR);
        QTest::newRow("files/ is a file") << "files-file"
                                          << "home/doc" << errorText(ENOTDIR);
        QTest::newRow("Trash is a file") << "trash-file"
                                         << "home/doc" << errorText(ENOTDIR);
        QTest::newRow(".local/share is a file") << "share-file"
                                                << "home/doc" << errorText(ENOTDIR);
        QTest::newRow("already in the Trash") << ""
                                              << "home/" + trash + "/files/old"
                                              << "already in the Trash";
        QTest::newRow("an info file") << ""
                                      << "home/" + trash + "/info/old.trashinfo"
                                      << "already in the Trash";
        QTest::newRow("the Trash itself") << ""
                                          << "home/" + trash << "already in the Trash";
        QTest::newRow("the files folder") << ""
                                          << "home/" + trash + "/files"
                                          << "already in the Trash";
        QTest::newRow("through a link into the Trash") << "link"
                                                       << "home/link/old"
                                                       << "already in the Trash";
        QTest::newRow("a folder holding the Trash") << ""
                                                    << "home/.local"
                                                    << "holds the Trash";
    }

    void refusedInHome()
    {
        QFETCH(QString, setup);
        QFETCH(QString, item);
        QFETCH(QString, error);
        const QString trash = trashFolder();
        if (setup.endsWith("-file")) {
            const QString in = setup == "share-file"   ? m_home + "/.local/share"
                               : setup == "trash-file" ? trash
                                                       : trash + '/' + setup.chopped(5);
            QVERIFY(QDir().mkpath(QFileInfo(in).path()));
            QVERIFY(writeBytes(enc(in), "not a folder"));
            if (setup == "info-file")
                QVERIFY(QDir().mkpath(trash + "/files"));
            makeItem("home/doc");
        } else {
            QVERIFY(QDir().mkpath(trash + "/files"));
            QVERIFY(QDir().mkpath(trash + "/info"));
            QVERIFY(writeBytes(trashFiles() + "/old", "old"));
            QVERIFY(writeBytes(trashInfo() + "/old.trashinfo", "[Trash Info]\nPath=/x/old\n"));
            if (setup == "link")
                QVERIFY(::symlink(trashFiles().constData(), enc(m_home + "/link").constData()) ==
                        0);
        }
        const QByteArray path = enc(m_root + '/' + item);
        const Snapshot before = Snapshot::of(path);
        const QList<QByteArray> filesBefore = entries(trashFiles());
        const QList<QByteArray> infoBefore = entries(trashInfo());

        const Trash::Result r = Trash::moveNativeToTrash(path);
        QVERIFY(!r.ok);
        QVERIFY2(r.error.contains(error), qPrintable(r.error));
        QCOMPARE(Snapshot::of(path), before);
        QCOMPARE(entries(trashFiles()), filesBefore);
        QCOMPARE(entries(trashInfo()), infoBefore);
    }

    void writeFailureKeepsItem()
    {
        const QByteArray item = makeItem("home/doc", "precious");
        const Snapshot before = Snapshot::of(item);
        QProcess helper;
        helper.start(QCoreApplication::applicationFilePath(),
                     {"--move-helper", m_home, QString::fromLocal8Bit(item), "16"});
        QVERIFY(helper.waitForFinished(30000));
        QCOMPARE(helper.exitCode(), 1);
        QCOMPARE(QString::fromLocal8Bit(helper.readAllStandardOutput()),
                 "failed\n" + errorText(EFBIG));
        QCOMPARE(Snapshot::of(item), before);
        QVERIFY(entries(trashInfo()).isEmpty());
        QVERIFY(entries(trashFiles()).isEmpty());
    }

    void readOnlyInfoFailsAtOnce()
    {
        QVERIFY(QDir().mkpath(trashFolder() + "/files"));
        QVERIFY(QDir().mkpath(trashFolder() + "/info"));
        const QByteArray item = makeItem("home/doc", "precious");
        const Snapshot before = Snapshot::of(item);
        QVERIFY(::chmod(trashInfo().constData(), 0500) == 0);
        QString error;
        if (::geteuid() != 0) {
            const Trash::Result r = Trash::moveNativeToTrash(item);
            QVERIFY(!r.ok);
            error = r.error;
        } else {
            // Permission bits stop nothing for root: run the move as nobody.
            const QString setpriv = QStandardPaths::findExecutable("setpriv");
            if (setpriv.isEmpty())
                QSKIP("setpriv is not installed");
            QVERIFY(::chmod(enc(m_root).constData(), 0755) == 0);
            for (const QString &p :
                 {m_home, m_home + "/.local", m_home + "/.local/share", trashFolder(),
                  trashFolder() + "/files", trashFolder() + "/info", m_home + "/doc"})
                QVERIFY(::lchown(enc(p).constData(), 65534, 65534) == 0);
            QProcess helper;
            helper.start(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups",
                                   QCoreApplication::applicationFilePath(), "--move-helper", m_home,
                                   QString::fromLocal8Bit(item)});
            QVERIFY(helper.waitForFinished(30000));
            const QString out = QString::fromLocal8Bit(helper.readAllStandardOutput());
            if (!out.startsWith("failed\n") && !out.startsWith("ok\n"))
                QSKIP(qPrintable("the helper cannot run as nobody: " +
                                 QString::fromLocal8Bit(helper.readAllStandardError())));
            QCOMPARE(helper.exitCode(), 1);
            error = out.mid(7);
        }
        QCOMPARE(error, errorText(EACCES));
        QCOMPARE(Snapshot::of(item), before);
        QVERIFY(entries(trashInfo()).isEmpty());
        QVERIFY(entries(trashFiles()).isEmpty());
    }

    void linksAreTrashedAsLinks_data()
    {
        QTest::addColumn<bool>("dangling");
        QTest::newRow("dangling") << true;
        QTest::newRow("to a file") << false;
    }

    void linksAreTrashedAsLinks()
    {
        QFETCH(bool, dangling);
        const QByteArray target = dangling ? enc(m_root + "/gone") : makeItem("target", "kept");
        const QByteArray link = enc(m_home + "/shortcut");
        QVERIFY(::symlink(target.constData(), link.constData()) == 0);
        const Trash::Result r = Trash::moveNativeToTrash(link);
        QVERIFY2(r.ok, qPrintable(r.error));
        QVERIFY(!present(link));
        QCOMPARE(Snapshot::of(trashFiles() + "/shortcut").linkTarget, target);
        QCOMPARE(present(target), !dangling);
        if (!dangling)
            QCOMPARE(readBytes(target), QByteArray("kept"));
    }

    void topFolderTrash_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("expectedTrash");
        const QString uid = QString::number(::getuid());
        QTest::newRow("created when missing") << ""
                                              << ".Trash-" + uid;
        QTest::newRow("shared sticky .Trash") << "sticky"
                                              << ".Trash/" + uid;
        QTest::newRow(".Trash without the sticky bit") << "plain"
                                                       << ".Trash-" + uid;
        QTest::newRow(".Trash is a link") << "link"
                                          << ".Trash-" + uid;
        QTest::newRow("foreign folder in .Trash") << "foreign"
                                                  << ".Trash-" + uid;
    }

    void topFolderTrash()
    {
        QFETCH(QString, setup);
        QFETCH(QString, expectedTrash);
        const QString top = m_root + "/volume";
        const QString elsewhere = m_root + "/elsewhere";
        QVERIFY(QDir().mkpath(elsewhere));
        const QByteArray item = makeItem("volume/sub/my file", "on the volume");
        const QByteArray shared = enc(top + "/.Trash");
        if (setup == "sticky" || setup == "plain" || setup == "foreign") {
            QVERIFY(::mkdir(shared.constData(), 0700) == 0);
            QVERIFY(::chmod(shared.constData(), setup == "plain" ? 0777 : 01777) == 0);
        } else if (setup == "link") {
            QVERIFY(::chmod(enc(elsewhere).constData(), 01777) == 0);
            QVERIFY(::symlink(enc(elsewhere).constData(), shared.constData()) == 0);
        }
        if (setup == "foreign") {
            if (::geteuid() != 0)
                QSKIP("needs root to hand a folder to another user");
            const QByteArray foreign = shared + '/' + m_uid;
            QVERIFY(::mkdir(foreign.constData(), 0700) == 0);
            QVERIFY(::chown(foreign.constData(), 65534, 65534) == 0);
        }
        pointTopAt(top);

        const Trash::Result r = Trash::moveNativeToTrash(item);
        QVERIFY2(r.ok, qPrintable(r.error));
        const QString trash = top + '/' + expectedTrash;
        QCOMPARE(r.trashedPath, trash + "/files/my file");
        QVERIFY(!present(item));
        QCOMPARE(readBytes(enc(r.trashedPath)), QByteArray("on the volume"));
        QCOMPARE(infoField(enc(trash + "/info/my file.trashinfo"), "Path"),
                 QByteArray("sub/my%20file"));
        QCOMPARE(modeOf(enc(trash)), 0700);
        QVERIFY(entries(enc(elsewhere)).isEmpty());
        QVERIFY(!present(enc(trashFolder()))); // the home trash is not involved
    }

    void topFolderTrashRefused_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("error");
        const QString own = ".Trash-" + QString::number(::getuid());
        QTest::newRow("planted link") << "link"
                                      << "sub/x" << own + " is a symbolic link";
        QTest::newRow("a file in its place") << "file"
                                             << "sub/x" << errorText(ENOTDIR);
        QTest::newRow("another user's folder") << "foreign"
                                               << "sub/x"
                                               << "belongs to another user";
        QTest::newRow("files/ is a link") << "files-link"
                                          << "sub/x" << own + "/files is a symbolic link";
        QTest::newRow("item in the top trash") << "" << own + "/files/old"
                                               << "already in the Trash";
        QTest::newRow("the top trash itself") << "" << own << "already in the Trash";
        QTest::newRow("item in shared .Trash") << ""
                                               << ".Trash/1/files/y"
                                               << "already in the Trash";
        QTest::newRow("the volume itself") << ""
                                           << ""
                                           << "A mounted folder cannot be moved to the Trash";
    }

    void topFolderTrashRefused()
    {
        QFETCH(QString, setup);
        QFETCH(QString, item);
        QFETCH(QString, error);
        const QString top = m_root + "/volume";
        const QString own = top + "/.Trash-" + QString::number(::getuid());
        const QString elsewhere = m_root + "/elsewhere";
        QVERIFY(QDir().mkpath(elsewhere));
        makeItem("volume/sub/x");
        makeItem("volume/.Trash/1/files/y");
        if (setup == "link") {
            QVERIFY(::symlink(enc(elsewhere).constData(), enc(own).constData()) == 0);
        } else if (setup == "file") {
            QVERIFY(writeBytes(enc(own), ""));
        } else if (setup == "foreign") {
            if (::geteuid() != 0)
                QSKIP("needs root to hand a folder to another user");
            QVERIFY(::mkdir(enc(own).constData(), 0700) == 0);
            QVERIFY(::chown(enc(own).constData(), 65534, 65534) == 0);
        } else if (setup == "files-link") {
            QVERIFY(::mkdir(enc(own).constData(), 0700) == 0);
            QVERIFY(::symlink(enc(elsewhere).constData(), enc(own + "/files").constData()) == 0);
        } else {
            makeItem(QFileInfo(own).fileName().prepend("volume/") + "/files/old");
        }
        pointTopAt(top);
        const QByteArray path = enc(item.isEmpty() ? top : top + '/' + item);
        const Snapshot before = Snapshot::of(path);

        const Trash::Result r = Trash::moveNativeToTrash(path);
        QVERIFY(!r.ok);
        QVERIFY2(r.error.contains(error), qPrintable(r.error));
        QCOMPARE(Snapshot::of(path), before);
        QVERIFY(entries(enc(elsewhere)).isEmpty());
        QVERIFY(!present(enc(own + "/info/x.trashinfo")));
        QVERIFY(!present(enc(trashFolder())));
    }

    void crossDevice_data()
    {
        QTest::addColumn<QString>("mountTop");
        // A wrong answer about the mount, as bind mounts give: the item seems to share the
        // home trash's volume, so the rename itself must refuse; nothing is copied.
        QTest::newRow("rename across devices") << "root";
        QTest::newRow("no usable trash on the volume") << "blocked";
        QTest::newRow("the real mount top") << "";
    }

    void crossDevice()
    {
        QFETCH(QString, mountTop);
        QTemporaryDir shm("/dev/shm/tst_Trash-XXXXXX");
        if (!shmIsOtherDevice(shm))
            QSKIP("/dev/shm is missing or on the same file system");
        const QByteArray name = "item-" + QByteArray::number(QCoreApplication::applicationPid());
        const QByteArray item = enc(shm.path()) + '/' + name;
        QVERIFY(writeBytes(item, "on tmpfs"));
        const Snapshot before = Snapshot::of(item);
        if (mountTop == "root") {
            Trash::setMountTopResolver([shmPath = shm.path()](const QString &path) {
                return path.startsWith(shmPath + '/') ? QStringLiteral("/") : QString();
            });
        } else if (mountTop == "blocked") {
            QVERIFY(writeBytes(enc(shm.path() + "/.Trash-") + m_uid, "in the way"));
            pointTopAt(shm.path());
        }
        const QByteArray realTrash = "/dev/shm/.Trash-" + m_uid;
        const bool realTrashExisted = present(realTrash);

        const Trash::Result r = Trash::moveNativeToTrash(item);
        if (r.ok && mountTop.isEmpty()) {
            // Root may create /dev/shm/.Trash-0: a legitimate move, undone here.
            const QByteArray info = realTrash + "/info/" + name + ".trashinfo";
            const QByteArray path = infoField(info, "Path");
            const QByteArray content = readBytes(enc(r.trashedPath));
            ::unlink(enc(r.trashedPath).constData());
            ::unlink(info.constData());
            if (!realTrashExisted)
                QDir(QString::fromLocal8Bit(realTrash)).removeRecursively();
            QCOMPARE(enc(r.trashedPath), realTrash + "/files/" + name);
            QCOMPARE(content, QByteArray("on tmpfs"));
            QCOMPARE(path, enc(QFileInfo(shm.path()).fileName()) + '/' + name);
            QVERIFY(!present(item));
        } else {
            QVERIFY(!r.ok);
            if (mountTop == "root") // not the raw "Invalid cross-device link"
                QCOMPARE(r.error, Trash::mountedFolderReason());
            else
                QVERIFY2(r.error.contains("has no usable Trash folder"), qPrintable(r.error));
            QCOMPARE(Snapshot::of(item), before);
        }
        QVERIFY(entries(trashInfo()).isEmpty());
        QVERIFY(entries(trashFiles()).isEmpty());
    }

    // Renaming a folder takes the mounts below it along, and emptying the Trash would then
    // delete the mounted files: such folders stay, with a reason a person can read.
    void mountsStayWhereTheyAre_data()
    {
        QTest::addColumn<QString>("mount"); // "tmpfs" or "bind", always at home/P/share
        QTest::addColumn<QString>("item");  // below the home
        QTest::addColumn<bool>("asNobody");
        QTest::addColumn<bool>("moved");
        QTest::newRow("tmpfs below the folder") << "tmpfs"
                                                << "P" << false << false;
        QTest::newRow("bind mount below the folder") << "bind"
                                                     << "P" << false << false;
        QTest::newRow("the bind-mounted folder itself") << "bind"
                                                        << "P/share" << false << false;
        QTest::newRow("a file in a bind-mounted folder") << "bind"
                                                         << "P/share/f" << false << true;
        QTest::newRow("tmpfs below the folder, as nobody") << "tmpfs"
                                                           << "P" << true << false;
        QTest::newRow("bind-mounted folder, as nobody") << "bind"
                                                        << "P/share" << true << false;
    }
    void mountsStayWhereTheyAre()
    {
        QFETCH(QString, mount);
        QFETCH(QString, item);
        QFETCH(bool, asNobody);
        QFETCH(bool, moved);
        const QByteArray share = enc(m_home + "/P/share");
        const QByteArray source = enc(m_root + "/source");
        QVERIFY(QDir().mkpath(QString::fromLocal8Bit(share)));
        QVERIFY(QDir().mkpath(QString::fromLocal8Bit(source)));
        const int r =
            mount == "tmpfs"
                ? ::mount("tmpfs", share.constData(), "tmpfs", 0, "size=64k,mode=0777")
                : ::mount(source.constData(), share.constData(), nullptr, MS_BIND, nullptr);
        if (r != 0)
            QSKIP(qPrintable("cannot mount here: " + errorText(errno)));
        QVERIFY(writeBytes(share + "/f", "on the mount"));
        const QByteArray path = enc(m_home + '/' + item);

        QString reason;
        bool ok = false;
        if (asNobody) {
            const QString setpriv = QStandardPaths::findExecutable("setpriv");
            if (setpriv.isEmpty())
                QSKIP("setpriv is not installed");
            QVERIFY(::chmod(enc(m_root).constData(), 0755) == 0);
            for (const QString &p : {m_home, m_home + "/P", QString::fromLocal8Bit(share),
                                     QString::fromLocal8Bit(share + "/f")})
                QVERIFY(::lchown(enc(p).constData(), 65534, 65534) == 0);
            QProcess helper;
            helper.start(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups",
                                   QCoreApplication::applicationFilePath(), "--move-helper", m_home,
                                   QString::fromLocal8Bit(path)});
            QVERIFY(helper.waitForFinished(30000));
            const QString out = QString::fromLocal8Bit(helper.readAllStandardOutput());
            if (!out.startsWith("failed\n") && !out.startsWith("ok\n"))
                QSKIP("the helper cannot run as nobody");
            ok = out.startsWith("ok\n");
            reason = out.mid(7);
        } else {
            const SafetyHelper::Outcome outcome = SafetyHelper::moveNativeToTrash(path);
            ok = outcome.ok;
            reason = outcome.reason;
        }
        QCOMPARE(ok, moved);
        QCOMPARE(present(path), !moved);
        QCOMPARE(readBytes(share + "/f").isEmpty(), item.endsWith("/f"));
        QVERIFY(MountTable::isMountPoint(share, MountTable::read()));
        if (!moved) {
            QCOMPARE(reason, QStringLiteral("A mounted folder cannot be moved to the Trash"));
            QVERIFY(entries(trashFiles()).isEmpty());
        } else {
            // The mount's own trash, as for any other volume; never a copy.
            QCOMPARE(readBytes(share + "/.Trash-" + m_uid + "/files/f"),
                     QByteArray("on the mount"));
        }
    }

    void putBackUndoesAMove_data()
    {
        QTest::addColumn<bool>("placeTaken");
        QTest::addColumn<bool>("folderNowALink");
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("place free") << false << false << QByteArray("app");
        QTest::newRow("place taken") << true << false << QByteArray("app");
        QTest::newRow("name not UTF-8") << false << false << QByteArray("app\xff");
        QTest::newRow("folder now a link") << false << true << QByteArray("app");
    }

    // The undo of a failed update: the item comes back whole and leaves no record behind,
    // and never replaces whatever took its place meanwhile.
    void putBackUndoesAMove()
    {
        QFETCH(bool, placeTaken);
        QFETCH(bool, folderNowALink);
        QFETCH(QByteArray, name);
        // Outside the home, which holds the Trash, when that folder is swapped.
        const QByteArray parent = enc(m_root + (folderNowALink ? "/place" : "/home"));
        const QByteArray folder = parent + '/' + name;
        QVERIFY(QDir().mkpath(QString::fromLocal8Bit(parent)));
        QVERIFY(::mkdir(folder.constData(), 0700) == 0);
        QVERIFY(::mkdir((folder + "/bin").constData(), 0700) == 0);
        const QByteArray item = folder + "/bin/prog\nline";
        writeBytes(item, "old copy");
        const Trash::Result trashed = Trash::moveNativeToTrash(folder);
        QVERIFY2(trashed.ok, qPrintable(trashed.error));
        const QByteArray info = trashInfo() + '/' + name + ".trashinfo";
        QVERIFY(present(info));
        if (placeTaken) {
            QVERIFY(::mkdir(folder.constData(), 0700) == 0);
            writeBytes(folder + "/new", "newcomer");
        }
        // The folder it was in swapped for a link to another place: nothing lands there.
        const QByteArray elsewhere = enc(m_root + "/elsewhere");
        if (folderNowALink) {
            QVERIFY(::rename(parent.constData(), (parent + ".moved").constData()) == 0);
            QVERIFY(::mkdir(elsewhere.constData(), 0700) == 0);
            QVERIFY(::symlink(elsewhere.constData(), parent.constData()) == 0);
        }

        const bool refused = placeTaken || folderNowALink;
        const Trash::Result back = Trash::putBack(trashed, folder);
        QCOMPARE(back.ok, !refused);
        QCOMPARE(readBytes(item), refused ? QByteArray() : QByteArray("old copy"));
        QCOMPARE(present(info), refused);
        QCOMPARE(present(trashFiles() + '/' + name), refused);
        if (folderNowALink)
            QVERIFY(entries(elsewhere).isEmpty());
        if (placeTaken)
            QCOMPARE(readBytes(folder + "/new"), QByteArray("newcomer"));
    }

    void nulPathsAreRefused()
    {
        const QByteArray item = makeItem("home/doc", "precious");
        const Trash::Result byText =
            Trash::moveToTrash(QString::fromLocal8Bit(item) + QChar(0) + "x");
        const Trash::Result byBytes = Trash::moveNativeToTrash(item + '\0' + "x");
        QVERIFY(!byText.ok);
        QVERIFY(!byBytes.ok);
        QCOMPARE(readBytes(item), QByteArray("precious"));
        QVERIFY(entries(trashFiles()).isEmpty());
    }

    void safetyHelperMovesThroughTheTrash()
    {
        const QByteArray item = makeItem("home/Downloads/setup.iso", "image");
        QVERIFY(SafetyHelper::moveToTrash(QString::fromLocal8Bit(item)));
        QCOMPARE(readBytes(trashFiles() + "/setup.iso"), QByteArray("image"));
        QVERIFY(!SafetyHelper::moveToTrash(QString::fromLocal8Bit(trashFiles() + "/setup.iso")));
        QVERIFY(present(trashFiles() + "/setup.iso"));
    }
};

// QTEST_GUILESS_MAIN, plus a helper mode the tests start as a child process.
int main(int argc, char **argv)
{
    if (argc >= 4 && qstrcmp(argv[1], "--move-helper") == 0)
        return runMoveHelper(argc, argv);
    QCoreApplication app(argc, argv);
    TestTrash test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_Trash.moc"
