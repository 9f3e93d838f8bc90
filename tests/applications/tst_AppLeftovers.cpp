#include "applications/AppLeftovers.h"
#include "platform/FileProperties.h"
#include "storage/StorageScanner.h"
#include "support/FifoFeeder.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QTest>

#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace {

void write(const QString &path, const QByteArray &content = "x")
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QString desktopEntry(const QString &name, const QString &exec)
{
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nName[de]=Anders\nExec=" + exec +
           "\n";
}

} // namespace

class tst_AppLeftovers : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_env->editLocations([&](Locations &l) {
            l.desktopEntryFolders = {m_env->root() + "/share/applications"};
            l.flatpakUserApps = m_env->root() + "/flatpak/app";
            l.flatpakSystemApps = m_env->root() + "/sysflatpak/app";
            l.flatpakUserExports = m_env->root() + "/flatpak/exports";
            l.flatpakSystemExports.clear();
            l.snapDesktopEntries.clear();
        });
    }
    void cleanup() { m_env.reset(); }

    void flatpakAppIds_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("valid");
        QTest::newRow("three parts") << "org.gnome.Maps" << true;
        QTest::newRow("dash, underscore, digits") << "io.git_hub.my-app2" << true;
        QTest::newRow("an option") << "--delete-data" << false;
        QTest::newRow("leading dash") << "-org.gnome.Maps" << false;
        QTest::newRow("a part starting with a dash") << "org.-gnome.Maps" << false;
        QTest::newRow("a part starting with a digit") << "org.2gnome.Maps" << false;
        QTest::newRow("two parts") << "gnome.Maps" << false;
        QTest::newRow("empty part") << "org..Maps" << false;
        QTest::newRow("a line feed") << "org.gnome.Maps\n--all" << false;
        QTest::newRow("not ASCII") << "org.gnome.Kart\u00e9" << false;
        QTest::newRow("255 characters") << "a.b." + QString(251, 'c') << true;
        QTest::newRow("256 characters") << "a.b." + QString(252, 'c') << false;
    }
    void flatpakAppIds()
    {
        QFETCH(QString, id);
        QFETCH(bool, valid);
        QCOMPARE(AppLeftovers::isFlatpakAppId(id), valid);
    }

    void matching_data()
    {
        QTest::addColumn<QString>("place");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("bundleID");
        QTest::addColumn<QString>("installed");
        QTest::addColumn<QString>("expected"); // "id", "name" or ""

        QTest::newRow("exact id") << ".config"
                                  << "com.a.b"
                                  << "B"
                                  << "com.a.b"
                                  << ""
                                  << "id";
        QTest::newRow("id and extension") << ".local/state"
                                          << "com.a.b.plist"
                                          << "B"
                                          << "com.a.b"
                                          << ""
                                          << "id";
        QTest::newRow("group prefix") << ".var/app"
                                      << "group.com.a.b"
                                      << "B"
                                      << "com.a.b"
                                      << ""
                                      << "id";
        QTest::newRow("team prefix, other case") << ".local/state"
                                                 << "TEAM.COM.A.B"
                                                 << "B"
                                                 << "com.a.b"
                                                 << ""
                                                 << "id";
        QTest::newRow("longer word") << ".config"
                                     << "com.a.bx"
                                     << "B"
                                     << "com.a.b"
                                     << ""
                                     << "";
        QTest::newRow("no dot before") << ".config"
                                       << "xcom.a.b"
                                       << "B"
                                       << "com.a.b"
                                       << ""
                                       << "";
        QTest::newRow("installed sibling app") << ".local/state"
                                               << "com.a.b.canary.plist"
                                               << "B"
                                               << "com.a.b"
                                               << "com.a.b.canary"
                                               << "";
        QTest::newRow("sibling not installed") << ".local/state"
                                               << "com.a.b.canary.plist"
                                               << "B"
                                               << "com.a.b"
                                               << ""
                                               << "id";
        QTest::newRow("own id stays when listed") << ".config"
                                                  << "com.a.b.desktop"
                                                  << "B"
                                                  << "com.a.b"
                                                  << "com.a.b"
                                                  << "id";
        QTest::newRow("name where allowed") << ".cache"
                                            << "Notes"
                                            << "Notes"
                                            << ""
                                            << ""
                                            << "name";
        QTest::newRow("name beside an id") << ".config"
                                           << "notes"
                                           << "Notes"
                                           << "com.x.y"
                                           << ""
                                           << "name";
        QTest::newRow("name where only ids") << ".local/state"
                                             << "notes"
                                             << "Notes"
                                             << ""
                                             << ""
                                             << "";
        QTest::newRow("generic name") << ".config"
                                      << "code"
                                      << "Code"
                                      << ""
                                      << ""
                                      << "";
        QTest::newRow("two letters") << ".config"
                                     << "vi"
                                     << "Vi"
                                     << ""
                                     << ""
                                     << "";
        QTest::newRow("shared desktop folder") << ".local/share"
                                               << "applications"
                                               << "Applications"
                                               << ""
                                               << ""
                                               << "";
        QTest::newRow("shared fonts folder") << ".local/share"
                                             << "fonts"
                                             << "Fonts"
                                             << ""
                                             << ""
                                             << "";
        QTest::newRow("name of an installed app") << ".config"
                                                  << "notes"
                                                  << "Notes"
                                                  << ""
                                                  << "notes"
                                                  << "";
    }
    void matching()
    {
        QFETCH(QString, place);
        QFETCH(QString, entry);
        QFETCH(QString, name);
        QFETCH(QString, bundleID);
        QFETCH(QString, installed);
        QFETCH(QString, expected);
        write(m_env->home() + "/" + place + "/" + entry);
        write(m_env->home() + "/.config/unrelated");
        const QList<Leftover> found =
            AppLeftovers::find(name, bundleID.isEmpty() ? std::nullopt : std::optional(bundleID),
                               QString(), installed.isEmpty() ? QSet<QString>() : QSet{installed});
        if (expected.isEmpty()) {
            QVERIFY2(found.isEmpty(), qPrintable(found.value(0).displayPath()));
            return;
        }
        QCOMPARE(found.size(), 1);
        QCOMPARE(found[0].displayPath(), m_env->home() + "/" + place + "/" + entry);
        QCOMPARE(found[0].place, place);
        QCOMPARE(found[0].byNameOnly, expected == "name");
    }

    // The names a menu entry gives an app (id, window class, program) find its settings
    // as an identifier does, in every place, unless another installed app answers to them.
    void matchingByAliases_data()
    {
        QTest::addColumn<QString>("entry"); // relative to home
        QTest::addColumn<QString>("installed");
        QTest::addColumn<bool>("found");
        QTest::newRow("folder") << ".config/krita"
                                << "" << true;
        QTest::newRow("rc file") << ".config/kritarc"
                                 << "" << true;
        QTest::newRow("data") << ".local/share/krita"
                              << "" << true;
        QTest::newRow("where only ids match") << ".local/state/krita"
                                              << "" << true;
        QTest::newRow("window class, other case") << ".cache/KritaWin"
                                                  << "" << true;
        QTest::newRow("longer word") << ".config/kritaish"
                                     << "" << false;
        QTest::newRow("another installed app's too") << ".config/krita"
                                                     << "krita" << false;
        QTest::newRow("too short to tell") << ".config/kr"
                                           << "" << false;
    }
    void matchingByAliases()
    {
        QFETCH(QString, entry);
        QFETCH(QString, installed);
        QFETCH(bool, found);
        write(m_env->home() + "/" + entry);
        const QList<Leftover> leftovers = AppLeftovers::find(
            "Krita Studio", std::nullopt, QString(),
            installed.isEmpty() ? QSet<QString>() : QSet{installed}, {"krita", "kritawin", "kr"});
        QCOMPARE(leftovers.size(), found ? 1 : 0);
        if (found)
            QVERIFY(!leftovers[0].byNameOnly);
    }

    void largestFirstAndRefusedLeftOut()
    {
        const QString home = m_env->home();
        write(home + "/.config/com.a.b/settings", QByteArray(64 * 1024, 'x'));
        write(home + "/.config/com.a.b/more/state", QByteArray(64 * 1024, 'y'));
        write(home + "/.cache/com.a.b", "small");
        write(home + "/.local/state/com.a.b", QByteArray(300 * 1024, 'z'));
        write(home + "/.var/app/com.a.b/keep", "x");
        // Bytes that are not UTF-8 still name a leftover.
        const QByteArray odd = nativePath(home) + "/.local/state/com.a.b.\xff\xfe";
        QVERIFY(::close(::creat(odd.constData(), 0600)) == 0);
        m_env->editLocations(
            [&](Locations &l) { l.protectedItself << home + "/.var/app/com.a.b"; });

        const QList<Leftover> found = AppLeftovers::find("B", QString("com.a.b"));
        QStringList order;
        for (const Leftover &l : found)
            order << l.place + ":" + l.name();
        QCOMPARE(order.mid(0, 3),
                 QStringList({".local/state:com.a.b", ".config:com.a.b", ".cache:com.a.b"}));
        QCOMPARE(found.size(), 4);
        QVERIFY(found[3].path.endsWith("com.a.b.\xff\xfe"));
        QVERIFY(found[1].bytes >= 128 * 1024);
        QVERIFY(found[0].bytes > found[1].bytes && found[1].bytes > found[2].bytes);
        ::unlink(odd.constData()); // the temporary folder's clean-up cannot name it
    }

    void identity_data()
    {
        QTest::addColumn<QString>("item");     // relative to the test root
        QTest::addColumn<QString>("original"); // where it came from, or empty
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("bundleID");
        QTest::newRow("bundle") << "Apps/Editor.app"
                                << ""
                                << "Text Editor"
                                << "com.example.editor";
        QTest::newRow("bundle whose Info.plist is a pipe") << "Apps/Piped.app"
                                                           << ""
                                                           << "Piped"
                                                           << "";
        QTest::newRow("bundle without Info.plist") << "Apps/Plain.app"
                                                   << ""
                                                   << "Plain"
                                                   << "";
        QTest::newRow("AppImage with an entry") << "Apps/tool-x86_64.AppImage"
                                                << ""
                                                << "Tool Pro"
                                                << "appimagekit-tool";
        QTest::newRow("AppImage in the Trash") << "trash/tool-x86_64.AppImage.2"
                                               << "Apps/tool-x86_64.AppImage"
                                               << "Tool Pro"
                                               << "appimagekit-tool";
        QTest::newRow("AppImage without an entry") << "Apps/Obsidian-1.4.AppImage"
                                                   << ""
                                                   << "Obsidian"
                                                   << "";
        QTest::newRow("underscore first") << "Apps/my_app-2.AppImage"
                                          << ""
                                          << "my"
                                          << "";
        QTest::newRow("flatpak with an entry") << "flatpak/app/org.example.Paint"
                                               << ""
                                               << "Paint Studio"
                                               << "org.example.Paint";
        QTest::newRow("flatpak without one") << "flatpak/app/org.example.Viewer"
                                             << ""
                                             << "Viewer"
                                             << "org.example.Viewer";
    }
    void identity()
    {
        QFETCH(QString, item);
        QFETCH(QString, original);
        QFETCH(QString, name);
        QFETCH(QString, bundleID);
        const QString root = m_env->root();
        write(root + "/Apps/Editor.app/Contents/Info.plist",
              "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleName</key>"
              "<string>Text Editor</string><key>CFBundleIdentifier</key>"
              "<string>com.example.editor</string></dict></plist>");
        write(root + "/Apps/Plain.app/Contents/MacOS/plain");
        // Pipes never block a read, nor feed it.
        QDir().mkpath(root + "/Apps/Piped.app/Contents");
        const FifoFeeder plist(root + "/Apps/Piped.app/Contents/Info.plist",
                               "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                               "<key>CFBundleName</key><string>Fed</string></dict></plist>");
        QDir().mkpath(m_env->home() + "/.local/share/applications");
        const FifoFeeder entry(m_env->home() + "/.local/share/applications/0-piped.desktop",
                               desktopEntry("Fed", "/bin/sh " + root + "/" + item).toUtf8());
        for (const QString f : {"/Apps/tool-x86_64.AppImage", "/Apps/Obsidian-1.4.AppImage",
                                "/Apps/my_app-2.AppImage", "/trash/tool-x86_64.AppImage.2"})
            write(root + f);
        write(m_env->home() + "/.local/share/applications/appimagekit-tool.desktop",
              desktopEntry("Tool Pro", "\"" + root + "/Apps/tool-x86_64.AppImage\" %U").toUtf8());
        write(m_env->home() + "/.local/share/applications/other.desktop",
              desktopEntry("Other", root + "/Apps/Obsidian-1.4.AppImage.bak").toUtf8());
        QDir().mkpath(root + "/flatpak/app/org.example.Paint/current");
        QDir().mkpath(root + "/flatpak/app/org.example.Viewer");
        write(root + "/flatpak/exports/org.example.Paint.desktop",
              desktopEntry("Paint Studio", "/usr/bin/flatpak run org.example.Paint").toUtf8());

        const AppIdentity got = AppLeftovers::identity(
            root + "/" + item, original.isEmpty() ? QString() : root + "/" + original);
        QCOMPARE(got.name, name);
        QCOMPARE(got.bundleID.value_or(QString()), bundleID);
        QCOMPARE(plist.timesRead() + entry.timesRead(), 0);
    }

    void stillInstalled_data()
    {
        QTest::addColumn<QString>("program"); // what the entry starts; empty: no entry
        QTest::addColumn<bool>("flatpakFolder");
        QTest::addColumn<bool>("installed");
        QTest::newRow("entry with its program") << "bin/tool" << false << true;
        QTest::newRow("program in the Trash")
            << "home/.local/share/Trash/files/tool" << false << false;
        QTest::newRow("program missing") << "bin/missing" << false << false;
        QTest::newRow("flatpak folder") << "" << true << true;
        QTest::newRow("nothing") << "" << false << false;
    }
    void stillInstalled()
    {
        QFETCH(QString, program);
        QFETCH(bool, flatpakFolder);
        QFETCH(bool, installed);
        const QString root = m_env->root();
        write(root + "/bin/tool");
        write(root + "/home/.local/share/Trash/files/tool");
        if (!program.isEmpty())
            write(root + "/share/applications/com.a.Tool.desktop",
                  desktopEntry("Tool", root + "/" + program + " --new-window").toUtf8());
        if (flatpakFolder)
            QDir().mkpath(root + "/flatpak/app/com.a.Tool");
        QCOMPARE(AppLeftovers::stillInstalled(QString("com.a.Tool")), installed);
        QVERIFY(!AppLeftovers::stillInstalled(std::nullopt));
        const QSet<QString> ids = AppLeftovers::installedIdentifiers();
        QCOMPARE(ids.contains("com.a.tool"), installed);
    }

    void secondCopyKeepsItsSettings()
    {
        const QString apps = m_env->root() + "/Apps";
        write(apps + "/Obsidian-1.4.AppImage");
        write(apps + "/Obsidian-1.5.AppImage");
        write(m_env->home() + "/.config/obsidian/settings.json");
        const QStringList listed = {apps + "/Obsidian-1.4.AppImage",
                                    apps + "/Obsidian-1.5.AppImage"};
        const QString gone = apps + "/Obsidian-1.4.AppImage";
        QVERIFY(!AppLeftovers::report("Obsidian", std::nullopt, gone, listed));
        QFile::remove(apps + "/Obsidian-1.5.AppImage");
        const auto report = AppLeftovers::report("Obsidian", std::nullopt, gone, listed);
        QVERIFY(report.has_value());
        QCOMPARE(report->leftovers.size(), 1);
        QVERIFY(report->leftovers[0].byNameOnly);
    }

    void stillInstalledGetsNoReport()
    {
        write(m_env->root() + "/bin/tool");
        write(m_env->home() + "/.config/com.a.Tool/x");
        QVERIFY(AppLeftovers::report("Tool", QString("com.a.Tool"), "/x/Tool.AppImage"));
        write(m_env->root() + "/share/applications/com.a.Tool.desktop",
              desktopEntry("Tool", m_env->root() + "/bin/tool").toUtf8());
        QVERIFY(!AppLeftovers::report("Tool", QString("com.a.Tool"), "/x/Tool.AppImage"));
    }

    void removal_data()
    {
        // per chosen leftover: move, gone, refuse, link, replaced (after it was listed)
        QTest::addColumn<QStringList>("kinds");
        QTest::addColumn<QString>("expected");
        const QString protect = "1 couldn't be moved; the system may protect them, use Show in "
                                "Folder.";
        QTest::newRow("moved, gone, refused")
            << QStringList{"move", "gone", "refuse"}
            << "Moved 1 item (" + formatBytes(4096) + ") to the Trash. 1 were already gone. " +
                   protect;
        QTest::newRow("nothing moved") << QStringList{"gone", "gone"}
                                       << "Moved 0 items (Zero KB) to the Trash. 2 were already "
                                          "gone.";
        QTest::newRow("replaced since listed")
            << QStringList{"replaced", "move"}
            << "Moved 1 item (" + formatBytes(4096) + ") to the Trash. " + protect;
        QTest::newRow("dangling link is trashed")
            << QStringList{"link", "move"}
            << "Moved 2 items (" + formatBytes(8192) + ") to the Trash.";
    }
    void removal()
    {
        QFETCH(QStringList, kinds);
        QFETCH(QString, expected);
        const QString home = m_env->home();
        QList<Leftover> leftovers;
        QSet<QByteArray> chosen;
        for (int i = 0; i < kinds.size(); ++i) {
            const QString path = home + "/.config/item" + QString::number(i);
            QDir().mkpath(home + "/.config");
            if (kinds[i] == "link")
                QVERIFY(QFile::link(home + "/nowhere", path));
            else if (kinds[i] != "gone")
                write(path);
            if (kinds[i] == "refuse")
                m_env->editLocations([&](Locations &l) { l.protectedItself << path; });
            leftovers.append({nativePath(path), 4096, ".config", false,
                              FileIdentity::read(nativePath(path)).value_or(FileIdentity())});
            chosen.insert(nativePath(path));
            if (kinds[i] == "replaced") {
                QVERIFY(QFile::remove(path));
                write(path, "another file");
            }
        }
        // Not ticked: stays.
        write(home + "/.config/unticked");
        leftovers.append({nativePath(home + "/.config/unticked"), 4096, ".config", false});

        const AppLeftovers::RemovalSummary summary = AppLeftovers::trashChosen(leftovers, chosen);
        QCOMPARE(AppLeftovers::resultText(summary), expected);
        QVERIFY(QFile::exists(home + "/.config/unticked"));
        for (int i = 0; i < kinds.size(); ++i) {
            const bool stays = kinds[i] == "refuse" || kinds[i] == "replaced";
            QCOMPARE(FileProperties::exists(home + "/.config/item" + QString::number(i)), stays);
        }
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_GUILESS_MAIN(tst_AppLeftovers)
#include "tst_AppLeftovers.moc"
