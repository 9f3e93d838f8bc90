#include "app/AppState.h"
#include "exec/SafetyHelper.h"
#include "platform/FileDescriptor.h"
#include "support/TestEnvironment.h"

#include <QFileInfo>

#include <QFile>
#include <QScopeGuard>
#include <QTest>

#include <cstdio>
#include <dirent.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool present(const QByteArray &path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

QList<QByteArray> entries(const QByteArray &folder)
{
    QList<QByteArray> names;
    if (DIR *dir = ::opendir(folder.constData())) {
        while (const dirent *e = ::readdir(dir)) {
            if (qstrcmp(e->d_name, ".") != 0 && qstrcmp(e->d_name, "..") != 0)
                names.append(e->d_name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool writeBytes(const QByteArray &path, const QByteArray &data)
{
    FILE *f = std::fopen(path.constData(), "wx");
    if (!f)
        return false;
    const bool ok = std::fwrite(data.constData(), 1, size_t(data.size()), f) == size_t(data.size());
    return std::fclose(f) == 0 && ok;
}

} // namespace

class tst_SafetyHelper : public QObject {
    Q_OBJECT
private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void safety_data()
    {
        QTest::addColumn<QString>("path"); // "~" is the test home
        QTest::addColumn<bool>("safe");
        QTest::newRow("root") << "/" << false;
        QTest::newRow("root doubled") << "//" << false;
        QTest::newRow("Library") << "/Library" << false;
        QTest::newRow("below Library") << "/Library/Caches/x" << false;
        QTest::newRow("user Library") << "~/Library/Caches/x" << true;
        QTest::newRow("usr") << "/usr" << false;
        QTest::newRow("below usr") << "/usr/local/bin/tool" << false;
        QTest::newRow("usr via doubled slash") << "//usr//bin" << false;
        QTest::newRow("case differs") << "/USR" << true;
        QTest::newRow("homebrew cellar") << "/opt/homebrew/Cellar/x" << true;
        QTest::newRow("application") << "/Applications/Some.app" << true;
        QTest::newRow("var folders") << "/var/folders/x" << false;
        QTest::newRow("private var") << "/private/var/db/x" << false;
        QTest::newRow("home") << "~" << false;
        QTest::newRow("home slash") << "~/" << false;
        QTest::newRow("Desktop") << "~/Desktop" << false;
        QTest::newRow("Documents slash") << "~/Documents/" << false;
        QTest::newRow("Downloads") << "~/Downloads" << false;
        QTest::newRow("Movies") << "~/Movies" << false;
        QTest::newRow("Music") << "~/Music" << false;
        QTest::newRow("Pictures") << "~/Pictures" << false;
        QTest::newRow("file in Downloads") << "~/Downloads/file.zip" << true;
        QTest::newRow("dot-dot to home") << "~/Desktop/.." << false;
        QTest::newRow("dot-dot to usr") << "/opt/../usr/lib" << false;
        QTest::newRow("dot component") << "~/./Music/." << false;
        // The Linux additions.
        QTest::newRow("boot") << "/boot/vmlinuz" << false;
        QTest::newRow("proc") << "/proc/1" << false;
        QTest::newRow("sys") << "/sys" << false;
        QTest::newRow("lib64") << "/lib64/ld.so" << false;
        QTest::newRow("root home") << "/root/.bashrc" << false;
        QTest::newRow("snap") << "/snap/core/1" << false;
        QTest::newRow("Videos") << "~/Videos" << false;
        QTest::newRow("in Videos") << "~/Videos/clip.mp4" << true;
        QTest::newRow("Public") << "~/Public" << false;
        QTest::newRow("Templates") << "~/Templates" << false;
        QTest::newRow("home root") << "/home" << false;
        QTest::newRow("opt itself") << "/opt" << false;
        QTest::newRow("in opt") << "/opt/someapp" << true;
        QTest::newRow("tmp itself") << "/tmp/" << false;
        QTest::newRow("in tmp") << "/tmp/x" << true;
        QTest::newRow("mnt") << "/mnt" << false;
        QTest::newRow("media") << "/media" << false;
        QTest::newRow("relative") << "Documents/x" << false;
        QTest::newRow("empty") << "" << false;
        // Climbing above the root stays at the root.
        QTest::newRow("dot-dot above root") << "/tmp/../.." << false;
        QTest::newRow("root dot-dot") << "/.." << false;
        QTest::newRow("dot-dot above root, then usr") << "/../../usr" << false;
        // System calls stop at a NUL: the text after it must not make a protected path pass.
        QTest::newRow("NUL after Pictures") << QString("~/Pictures" + QString(QChar(0))) << false;
        QTest::newRow("replacement character")
            << QString("~/Downloads/a" + QString(QChar(0xFFFD))) << true;
    }
    void safety()
    {
        QFETCH(QString, path);
        QFETCH(bool, safe);
        if (path.startsWith('~'))
            path = m_env->home() + path.mid(1);
        QCOMPARE(SafetyHelper::isPathSafeToDelete(path), safe);
    }

    void standardized_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("above the root") << "/tmp/../.."
                                        << "/";
        QTest::newRow("root dot-dot") << "/.."
                                      << "/";
        QTest::newRow("doubled and dotted") << "//a/./b/../c/"
                                            << "/a/c";
        QTest::newRow("relative stays relative") << "a/../b"
                                                 << "b";
    }
    void standardized()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(SafetyHelper::standardizedPath(path), expected);
    }

    // The home lives at root/real/users/bob and is known as root/link/users/bob, with
    // root/link -> real. Every spelling of the home, its standard folders and the folders
    // holding it is refused, and the move of a refused path leaves it where it is.
    void otherSpellingsAndAncestors_data()
    {
        QTest::addColumn<QString>("path"); // below the temporary root
        QTest::addColumn<bool>("safe");
        QTest::newRow("home by its real path") << "real/users/bob" << false;
        QTest::newRow("Documents by its real path") << "real/users/bob/Documents" << false;
        QTest::newRow("Documents as written") << "link/users/bob/Documents" << false;
        QTest::newRow("file in the real Documents") << "real/users/bob/Documents/a" << true;
        QTest::newRow("folder holding the home") << "link/users" << false;
        QTest::newRow("same by its real path") << "real/users" << false;
        QTest::newRow("two levels up") << "real" << false;
        QTest::newRow("a neighbour of the home") << "real/users/alice" << true;
    }
    void otherSpellingsAndAncestors()
    {
        QFETCH(QString, path);
        QFETCH(bool, safe);
        const QString root = m_env->root();
        QVERIFY(QDir().mkpath(root + "/real/users/bob/Documents"));
        QVERIFY(QDir().mkpath(root + "/real/users/alice"));
        QVERIFY(touch(root + "/real/users/bob/Documents/a"));
        QVERIFY(QFile::link(root + "/real", root + "/link"));
        Locations loc = Locations::forOs(Locations::Os::Linux, root + "/link/users/bob");
        // The Trash elsewhere, so only the safety check stands between the home and it.
        loc.trashFiles = root + "/xdg/Trash/files";
        Locations::setCurrent(loc);

        const QString full = root + '/' + path;
        QCOMPARE(SafetyHelper::isPathSafeToDelete(full), safe);
        const SafetyHelper::Outcome moved =
            SafetyHelper::moveNativeToTrash(QFile::encodeName(full));
        QCOMPARE(moved.ok, safe);
        QCOMPARE(QFileInfo::exists(full), !safe);
        if (!safe)
            QCOMPARE(moved.reason, QStringLiteral("This location is protected."));
    }

    // A bind mount gives a protected folder a spelling no link resolution reveals.
    void protectedByIdentity_data()
    {
        QTest::addColumn<QString>("path"); // below the temporary root
        QTest::addColumn<bool>("safe");
        QTest::newRow("a protected tree bound elsewhere") << "view" << false;
        QTest::newRow("below it") << "view/sub" << false;
        QTest::newRow("Documents bound elsewhere") << "docs" << false;
        QTest::newRow("a file in it") << "docs/f" << true;
    }
    void protectedByIdentity()
    {
        QFETCH(QString, path);
        QFETCH(bool, safe);
        const QString root = m_env->root();
        for (const char *f : {"/tree/sub", "/view", "/docs", "/home/Documents"})
            QVERIFY(QDir().mkpath(root + f));
        QVERIFY(touch(root + "/home/Documents/f"));
        m_env->editLocations([&](Locations &l) { l.protectedTrees.append(root + "/tree"); });
        const QList<std::pair<QString, QString>> binds{{"/tree", "/view"},
                                                       {"/home/Documents", "/docs"}};
        QStringList mounted;
        const auto unmount = qScopeGuard([&] {
            for (const QString &m : mounted)
                ::umount2(QFile::encodeName(m).constData(), MNT_DETACH);
        });
        for (const auto &[from, to] : binds) {
            if (::mount(QFile::encodeName(root + from).constData(),
                        QFile::encodeName(root + to).constData(), nullptr, MS_BIND, nullptr) != 0)
                QSKIP("cannot bind-mount here");
            mounted.prepend(root + to);
        }
        QCOMPARE(SafetyHelper::isPathSafeToDelete(root + '/' + path), safe);
    }

    // /root, or /var/home/<user> on Fedora Atomic: inside the home only the home rules hold.
    void homeUnderAProtectedTree_data()
    {
        QTest::addColumn<QString>("home"); // "var": root/var/home/bob with root/var a tree
        QTest::addColumn<QString>("path"); // "~" is that home, "@" the temporary root
        QTest::addColumn<bool>("safe");
        QTest::newRow("file in the home") << "var"
                                          << "~/notes.txt" << true;
        QTest::newRow("cache folder") << "var"
                                      << "~/.cache/thumbs" << true;
        QTest::newRow("the home") << "var"
                                  << "~" << false;
        QTest::newRow("its Documents") << "var"
                                       << "~/Documents" << false;
        QTest::newRow("another user's file") << "var"
                                             << "@/var/home/alice/x" << false;
        QTest::newRow("escaping the home") << "var"
                                           << "~/../alice/x" << false;
        QTest::newRow("the folder of homes") << "var"
                                             << "@/var/home" << false;
        QTest::newRow("elsewhere in the tree") << "var"
                                               << "@/var/lib/x" << false;
        QTest::newRow("root's cache") << "/root"
                                      << "/root/.cache/x" << true;
        QTest::newRow("root's home") << "/root"
                                     << "/root" << false;
        QTest::newRow("root's Desktop") << "/root"
                                        << "/root/Desktop/" << false;
        QTest::newRow("root's neighbour") << "/root"
                                          << "/etc/passwd" << false;
    }
    void homeUnderAProtectedTree()
    {
        QFETCH(QString, home);
        QFETCH(QString, path);
        QFETCH(bool, safe);
        const QString root = m_env->root();
        Locations loc;
        if (home == "var") {
            home = root + "/var/home/bob";
            QVERIFY(QDir().mkpath(home + "/.cache"));
            QVERIFY(QDir().mkpath(root + "/var/home/alice"));
            loc = Locations::forOs(Locations::Os::Linux, home);
            loc.protectedTrees.append(root + "/var");
        } else {
            loc = Locations::forOs(Locations::Os::Linux, home);
        }
        Locations::setCurrent(loc);
        path.replace('~', home).replace('@', root);
        QCOMPARE(SafetyHelper::isPathSafeToDelete(path), safe);
    }

    // A process retargets a link on the way between the check and the move: the move
    // takes the item judged, never what the link names now.
    void linkRetargetedBeforeTheMove_data()
    {
        QTest::addColumn<QString>("swapTo"); // below the temporary root
        QTest::newRow("to the home") << "home";
        QTest::newRow("to another plain folder") << "other";
    }
    void linkRetargetedBeforeTheMove()
    {
        QFETCH(QString, swapTo);
        const QString root = m_env->root();
        for (const char *f : {"/plain/Documents", "/other/Documents", "/home/Documents"})
            QVERIFY(QDir().mkpath(root + f));
        QVERIFY(QFile::link(root + "/plain", root + "/link"));
        m_env->editLocations([](Locations &) {}); // judge with the folders in place
        const QByteArray link = QFile::encodeName(root + "/link");
        const QByteArray target = QFile::encodeName(root + '/' + swapTo);
        SafetyHelper::setBeforeOpenHook([&] {
            const QByteArray fresh = link + ".new";
            QVERIFY(::symlink(target.constData(), fresh.constData()) == 0);
            QVERIFY(::rename(fresh.constData(), link.constData()) == 0);
        });
        const SafetyHelper::Outcome outcome = SafetyHelper::moveNativeToTrash(link + "/Documents");
        SafetyHelper::setBeforeOpenHook({});

        QVERIFY(outcome.ok);
        QVERIFY(!QFileInfo::exists(root + "/plain/Documents"));
        QVERIFY(QFileInfo::exists(root + '/' + swapTo + "/Documents"));
    }

    // A folder on the way is swapped for a link to a folder holding the same names, or
    // for another folder, between the check and the move: nothing moves, there or here.
    void folderSwappedBeforeTheMove_data()
    {
        QTest::addColumn<QString>("swapped"); // below the home
        QTest::addColumn<bool>("forALink");
        QTest::addColumn<bool>("singlePass"); // openat2, or name by name
        QTest::newRow("the parent, for a link") << "Downloads/proj" << true << true;
        QTest::newRow("the parent, for a link, name by name") << "Downloads/proj" << true << false;
        QTest::newRow("a folder above, for a link") << "Downloads" << true << true;
        QTest::newRow("a folder above, for a link, name by name") << "Downloads" << true << false;
        QTest::newRow("the parent, for another folder") << "Downloads/proj" << false << true;
    }
    void folderSwappedBeforeTheMove()
    {
        QFETCH(QString, swapped);
        QFETCH(bool, forALink);
        QFETCH(bool, singlePass);
        const QString home = m_env->home();
        const QString chosen = home + "/Downloads/proj/big.iso";
        const QString thesis = home + "/Documents/thesis";
        QVERIFY(QDir().mkpath(home + "/Downloads/proj"));
        QVERIFY(QDir().mkpath(thesis + "/proj"));
        for (const QString &f : {chosen, thesis + "/big.iso", thesis + "/proj/big.iso"})
            QVERIFY(touch(f));
        const QByteArray from = QFile::encodeName(home + '/' + swapped);
        const QByteArray away = QFile::encodeName(home + "/away");
        SafetyHelper::setBeforeOpenHook([&] {
            QVERIFY(::rename(from.constData(), away.constData()) == 0);
            if (forALink)
                QVERIFY(::symlink(QFile::encodeName(thesis).constData(), from.constData()) == 0);
            else
                QVERIFY(QDir().mkpath(home + '/' + swapped) && touch(chosen));
        });
        FileDescriptor::setSinglePassOpenAvailable(singlePass);
        const SafetyHelper::Outcome outcome =
            SafetyHelper::moveNativeToTrash(QFile::encodeName(chosen));
        FileDescriptor::setSinglePassOpenAvailable(true);
        SafetyHelper::setBeforeOpenHook({});

        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.reason, "big.iso changed since it was listed. Rescan and try again.");
        for (const QString &f : {chosen, thesis + "/big.iso", thesis + "/proj/big.iso"})
            QVERIFY2(QFileInfo::exists(f), qPrintable(f));
        const QString original = swapped == "Downloads" ? "/away/proj/big.iso" : "/away/big.iso";
        QVERIFY(QFileInfo::exists(home + original));
    }

    // A row keeps the identity it was listed with; what stands at its path at the move
    // must still be that item.
    void changedSinceListedIsRefused_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("moved");
        QTest::newRow("a file as listed") << "none" << true;
        QTest::newRow("a file replaced by another") << "replace" << false;
        QTest::newRow("a file written to, same size") << "rewrite" << false;
        QTest::newRow("a folder whose contents changed") << "fill" << true;
        QTest::newRow("a folder replaced by another") << "refolder" << false;
    }
    void changedSinceListedIsRefused()
    {
        QFETCH(QString, change);
        QFETCH(bool, moved);
        const bool folder = change == "fill" || change == "refolder";
        const QString path = m_env->home() + (folder ? "/proj" : "/big.iso");
        const QByteArray native = QFile::encodeName(path);
        QVERIFY(folder ? QDir().mkpath(path) : writeBytes(native, "listed"));
        const std::optional<FileIdentity> listed = FileIdentity::read(native);
        QVERIFY(listed);
        if (change == "replace") {
            QVERIFY(QFile::rename(path, path + ".old") && writeBytes(native, "listed"));
        } else if (change == "rewrite") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite) && f.write("LISTED") == 6 && f.flush());
            // Later than the listing however coarse the file system's clock.
            QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(1),
                                  QFileDevice::FileModificationTime));
        } else if (change == "fill") {
            QVERIFY(touch(path + "/new"));
        } else if (change == "refolder") {
            QVERIFY(QDir().rename(path, path + ".old") && QDir().mkpath(path));
        }
        const SafetyHelper::Outcome outcome = SafetyHelper::moveNativeToTrash(native, *listed);
        QCOMPARE(outcome.ok, moved);
        QCOMPARE(QFileInfo::exists(path), !moved);
        if (!moved)
            QCOMPARE(outcome.reason,
                     QString(QFileInfo(path).fileName() +
                             " changed since it was listed. Rescan and try again."));
    }

    // Names that are not valid UTF-8 are moved as themselves, never as a look-alike.
    void trashContentsMovesNamesByTheirBytes()
    {
        AppState state;
        const QByteArray folder = QFile::encodeName(m_env->home() + "/Caches");
        QVERIFY(QDir().mkpath(QFile::decodeName(folder)));
        const QByteArray odd = "a\xff", lookAlike = "a\xef\xbf\xbd";
        QVERIFY(writeBytes(folder + '/' + odd, "sixty megabytes"));
        QVERIFY(writeBytes(folder + '/' + lookAlike, "four"));

        // A remover that takes text is never handed a name the text cannot stand for.
        QStringList asked;
        m_env->clearLog();
        QCOMPARE(SafetyHelper::trashContents(QFile::decodeName(folder), &state,
                                             [&](const QString &child) {
                                                 asked.append(child);
                                                 return std::make_pair(false, QString("kept"));
                                             }),
                 0);
        QCOMPARE(asked, QStringList{QString::fromUtf8(folder + '/' + lookAlike)});
        const auto log = m_env->log();
        QVERIFY(std::any_of(log.begin(), log.end(), [](const auto &record) {
            return record.second.endsWith("a\uFFFD: The item's name cannot be passed on exactly");
        }));

        QCOMPARE(SafetyHelper::trashContents(QFile::decodeName(folder), &state), 2);
        QVERIFY(entries(folder).isEmpty());
        const QByteArray files = QFile::encodeName(m_env->home() + "/.local/share/Trash/files");
        QCOMPARE(entries(files), (QList<QByteArray>{lookAlike, odd}));
    }

    void tildeIsTheHome()
    {
        QVERIFY(!SafetyHelper::isPathSafeToDelete("~/Desktop"));
        QVERIFY(SafetyHelper::isPathSafeToDelete("~/Desktop/notes.txt"));
    }

    void protectedFolderReachedThroughALink()
    {
        // ~/link -> /usr: "~/link/bin" reads as a home path but is /usr/bin.
        const QString link = m_env->home() + "/link";
        QVERIFY(QFile::link("/usr", link));
        QVERIFY(!SafetyHelper::isPathSafeToDelete(link + "/bin"));
        QVERIFY(!SafetyHelper::isPathSafeToDelete(link + "/lib/x"));
        // The link itself is an ordinary item of the home folder.
        QVERIFY(SafetyHelper::isPathSafeToDelete(link));

        // A link standing in for a protected home folder is judged as itself too.
        const QString home2 = m_env->home() + "/Desktop2";
        QVERIFY(QFile::link(m_env->home(), home2));
        QVERIFY(!SafetyHelper::isPathSafeToDelete(home2 + "/Desktop"));
    }

    void refusedMoveLogsAndTouchesNothing()
    {
        AppState state;
        m_env->clearLog();
        QVERIFY(!SafetyHelper::moveToTrash("/usr/bin", &state));
        const auto log = m_env->log();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log[0].first, SystemLog::Level::Error);
        QCOMPARE(log[0].second, QStringLiteral("Safety Check Failed: /usr/bin is protected."));
        QVERIFY(QFile::exists("/usr/bin"));
    }

    // Each text names an existing item up to a NUL or an unencodable letter.
    void unexactTextsMoveNothing_data()
    {
        QTest::addColumn<QString>("path"); // below the home
        QTest::addColumn<QString>("existing");
        QTest::newRow("NUL after Pictures")
            << QString("Pictures" + QString(QChar(0))) << "Pictures";
        QTest::newRow("NUL inside a name")
            << QString("Downloads/a" + QString(QChar(0)) + "b") << "Downloads/a";
        QTest::newRow("lone surrogate") << QString("Downloads/a" + QString(QChar(0xD800)))
                                        << QString("Downloads/a" + QString(QChar(0xD800)));
    }
    void unexactTextsMoveNothing()
    {
        QFETCH(QString, path);
        QFETCH(QString, existing);
        QVERIFY(QDir().mkpath(m_env->home() + "/Pictures"));
        QVERIFY(QDir().mkpath(m_env->home() + "/Downloads"));
        const QByteArray onDisk = QFile::encodeName(m_env->home() + '/' + existing);
        QVERIFY(present(onDisk) || writeBytes(onDisk, "kept"));
        QVERIFY(!SafetyHelper::moveToTrash(m_env->home() + '/' + path));
        QVERIFY(present(onDisk));
        QVERIFY(!present(QFile::encodeName(m_env->home() + "/.local/share/Trash")));
    }

    void moveWithoutStateLogsNothing()
    {
        const QString file = m_env->home() + "/a.txt";
        QVERIFY(touch(file));
        m_env->clearLog();
        QVERIFY(SafetyHelper::moveToTrash(file));
        QVERIFY(!QFile::exists(file));
        QVERIFY(QFile::exists(m_env->home() + "/.local/share/Trash/files/a.txt"));
        QVERIFY(!SafetyHelper::moveToTrash("/"));
        QVERIFY(m_env->log().isEmpty());
    }

    void moveLogsTrashedAndFailure()
    {
        AppState state;
        const QString file = m_env->home() + "/b.txt";
        QVERIFY(touch(file));
        m_env->clearLog();
        QVERIFY(SafetyHelper::moveToTrash(file, &state));
        QCOMPARE(m_env->log().last().second, "[info] Trashed: " + file);

        const QString missing = m_env->home() + "/missing.txt";
        QVERIFY(!SafetyHelper::moveToTrash(missing, &state));
        QCOMPARE(m_env->log().last().first, SystemLog::Level::Error);
        QVERIFY(m_env->log().last().second.startsWith("Failed to trash " + missing + ": "));
    }

    void trashContentsOfUnlistableFolder()
    {
        AppState state;
        m_env->clearLog();
        QCOMPARE(SafetyHelper::trashContents(m_env->home() + "/nope", &state), 0);
        QCOMPARE(SafetyHelper::trashContents(m_env->home() + "/Desktop", &state), 0);
        QVERIFY(m_env->log().isEmpty());
    }

    void trashContentsOfEmptyFolderStillLogs()
    {
        AppState state;
        const QString folder = m_env->home() + "/Caches";
        QVERIFY(QDir().mkpath(folder));
        m_env->clearLog();
        QCOMPARE(SafetyHelper::trashContents(folder, &state), 0);
        QCOMPARE(m_env->log().size(), 1);
        QCOMPARE(m_env->log()[0].second, "[info] Moved 0 items from " + folder + " to the Trash");
    }

    void trashContentsCountsAndGoesOnAfterFailure()
    {
        AppState state;
        const QString folder = m_env->home() + "/Caches";
        QVERIFY(QDir().mkpath(folder + "/sub/deeper"));
        QVERIFY(touch(folder + "/.hidden"));
        QVERIFY(touch(folder + "/fails"));
        QVERIFY(touch(folder + "/plain"));
        m_env->clearLog();

        QStringList asked;
        const int moved = SafetyHelper::trashContents(folder, &state, [&](const QString &child) {
            asked.append(child);
            if (child.endsWith("/fails"))
                return std::make_pair(false, QStringLiteral("Operation not permitted"));
            return std::make_pair(true, QString());
        });
        QCOMPARE(moved, 3);
        asked.sort();
        QCOMPARE(asked, QStringList({folder + "/.hidden", folder + "/fails", folder + "/plain",
                                     folder + "/sub"}));
        const auto log = m_env->log();
        QCOMPARE(log.size(), 2);
        QCOMPARE(log[0].second, "Failed to trash " + folder + "/fails: Operation not permitted");
        QCOMPARE(log[1].second, "[info] Moved 3 items from " + folder + " to the Trash");
    }

    void trashContentsOfAFolderHoldingTheHome()
    {
        // Emptying the folder that holds the home would take the home along.
        QVERIFY(touch(m_env->root() + "/loose.txt"));
        QStringList asked;
        const int moved =
            SafetyHelper::trashContents(m_env->root(), nullptr, [&](const QString &c) {
                asked.append(c);
                return std::make_pair(true, QString());
            });
        QCOMPARE(moved, 0);
        QVERIFY(asked.isEmpty());
        QVERIFY(QFileInfo::exists(m_env->home()));
    }

private:
    static bool touch(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly);
    }
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_GUILESS_MAIN(tst_SafetyHelper)
#include "tst_SafetyHelper.moc"
