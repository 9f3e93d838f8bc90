#include "app/AppState.h"
#include "applications/ApplicationsViewModel.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <ctime>
#include <memory>

namespace {

void write(const QString &path, const QByteArray &content = "x")
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QStringList names(const QList<AppResource> &apps)
{
    QStringList out;
    for (const AppResource &a : apps)
        out << a.name + "|" + a.source;
    out.sort();
    return out;
}

} // namespace

class tst_ApplicationsViewModel : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_sys = m_env->root() + "/Applications";
        m_user = m_env->home() + "/Applications";
        m_env->editLocations([&](Locations &l) {
            l.applicationFolders = {m_sys, m_user};
            l.flatpakUserApps = m_env->root() + "/flatpak/app";
            l.flatpakUserExports = m_env->root() + "/flatpak/exports";
            l.flatpakSystemApps = m_env->root() + "/sysflatpak/app";
            l.flatpakSystemExports = m_env->root() + "/sysflatpak/exports";
            l.desktopEntryFolders = {m_env->root() + "/share/applications"};
            l.snapDesktopEntries.clear();
            l.menuEntryFolders.clear();
            l.appImageFolders = {m_env->home() + "/Downloads"};
            l.flatpak = m_env->root() + "/bin/flatpak";
        });
        Preferences::setValue(AppState::watchTrashKey, false);
    }
    void cleanup() { m_env.reset(); }

    void scannedFolders_data()
    {
        QTest::addColumn<QVariant>("system");
        QTest::addColumn<QVariant>("user");
        QTest::addColumn<QVariant>("custom");
        QTest::addColumn<QStringList>("expected"); // SYS and USER stand for the two folders
        QTest::newRow("defaults") << QVariant() << QVariant() << QVariant()
                                  << QStringList{"SYS", "USER"};
        QTest::newRow("switches off, no custom")
            << QVariant(false) << QVariant(false) << QVariant() << QStringList{};
        QTest::newRow("not booleans count as on")
            << QVariant(7) << QVariant("x") << QVariant() << QStringList{"SYS", "USER"};
        QTest::newRow("duplicate and trailing slash")
            << QVariant(true) << QVariant(false)
            << QVariant(R"(["SYS", "/opt/apps", "SYS/", "/opt/apps"])")
            << QStringList{"SYS", "/opt/apps", "SYS/"};
        QTest::newRow("relative paths skipped")
            << QVariant(false) << QVariant(false) << QVariant(R"(["", "apps", "~/x", "/srv/a"])")
            << QStringList{"/srv/a"};
        QTest::newRow("a non-text element spoils the list")
            << QVariant(false) << QVariant(false) << QVariant(R"(["/srv/a", 3])") << QStringList{};
        QTest::newRow("not JSON") << QVariant(false) << QVariant(false) << QVariant("[\"/srv/a\"")
                                  << QStringList{};
        QTest::newRow("not an array") << QVariant(false) << QVariant(false)
                                      << QVariant(R"({"a": "/srv/a"})") << QStringList{};
    }
    void scannedFolders()
    {
        QFETCH(QVariant, system);
        QFETCH(QVariant, user);
        QFETCH(QVariant, custom);
        QFETCH(QStringList, expected);
        if (system.isValid())
            Preferences::setValue("scanSystemApps", system);
        if (user.isValid())
            Preferences::setValue("scanUserApps", user);
        if (custom.isValid())
            Preferences::setValue("customAppDirs", custom.toString().replace("SYS", m_sys));
        for (QString &e : expected)
            e.replace("SYS", m_sys).replace("USER", m_user);
        QCOMPARE(ApplicationsViewModel::scannedFolders(), expected);
    }

    void listsLinuxApplications_data()
    {
        QTest::addColumn<bool>("system");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("everything")
            << true << QStringList{"Link.AppImage|AppImage",  "Paint Studio|Flatpak",
                                   "Saved.AppImage|AppImage", "Tool.AppImage|AppImage",
                                   "Viewer|Flatpak",          "lower.appimage|AppImage"};
        QTest::newRow("system off") << false
                                    << QStringList{"Link.AppImage|AppImage", "Paint Studio|Flatpak",
                                                   "Saved.AppImage|AppImage"};
    }
    void listsLinuxApplications()
    {
        QFETCH(bool, system);
        QFETCH(QStringList, expected);
        const QString root = m_env->root();
        write(m_sys + "/Tool.AppImage", QByteArray(40000, 't'));
        write(m_sys + "/lower.appimage");
        write(m_sys + "/.Hidden.AppImage");
        write(m_sys + "/Sub/Inner.AppImage");
        write(m_sys + "/readme.txt");
        write(m_env->home() + "/Downloads/Saved.AppImage");
        QDir().mkpath(m_sys + "/Folder.AppImage");
        QDir().mkpath(m_user);
        QVERIFY(QFile::link(m_sys + "/Tool.AppImage", m_user + "/Link.AppImage"));
        write(root + "/flatpak/app/org.example.Paint/current/files/bin", QByteArray(9000, 'p'));
        write(root + "/flatpak/exports/org.example.Paint.desktop",
              "[Desktop Entry]\nName=Paint Studio\nExec=/usr/bin/flatpak run org.example.Paint\n");
        QDir().mkpath(root + "/sysflatpak/app/org.example.Viewer");
        // Folder names that are no application IDs, and would be options to flatpak.
        QDir().mkpath(root + "/flatpak/app/--delete-data");
        QDir().mkpath(root + "/sysflatpak/app/--all");
        Preferences::setValue("scanSystemApps", system);

        const QList<AppResource> apps = ApplicationsViewModel::findApplications();
        QCOMPARE(names(apps), expected);
        for (const AppResource &app : apps) {
            QVERIFY(app.lastUsed.contains(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d$")));
            if (app.name == "Tool.AppImage")
                QVERIFY(app.sizeMB * 1024 * 1024 >= 40000);
            if (app.name == "Link.AppImage")
                QVERIFY(app.isLink);
            if (app.source == "Flatpak")
                QCOMPARE(app.systemInstallation, app.name == "Viewer");
        }
    }

    void lastUsedOfAnAppImage()
    {
        // Fourteen hours east of UTC, where noon is still the day before in UTC: the day
        // shown must be the local one.
        const QByteArray zone = qgetenv("TZ");
        const auto restore = qScopeGuard([&] {
            zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
            ::tzset();
        });
        qputenv("TZ", "XST-14");
        ::tzset();
        const QString file = m_sys + "/Tool.AppImage";
        write(file);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const QDateTime modified(QDate(2023, 5, 1), QTime(12, 0));
        QVERIFY(f.setFileTime(modified, QFileDevice::FileModificationTime));
        QVERIFY(
            f.setFileTime(QDateTime(QDate(2024, 2, 3), QTime(12, 0)), QFileDevice::FileAccessTime));
        f.close();
        QCOMPARE(ApplicationsViewModel::findApplications().value(0).lastUsed, "2024-02-03");
        // The desktop's record of what the program opened wins over the access time.
        write(m_env->home() + "/.local/share/recently-used.xbel",
              "<xbel><bookmark><bookmark:application name=\"tool\" "
              "exec=\"&apos;" +
                  file.toUtf8() +
                  " %u&apos;\" modified=\"2024-06-07T00:30:00Z\"/>"
                  "</bookmark></xbel>");
        QCOMPARE(ApplicationsViewModel::findApplications().value(0).lastUsed, "2024-06-07");
    }

    void listsMacBundles()
    {
        m_env->editLocations([](Locations &l) { l.os = Locations::Os::MacOS; });
        write(m_sys + "/Store.app/Contents/_MASReceipt/receipt");
        write(m_sys + "/Web.app/Contents/Info.plist");
        write(m_sys + "/UPPER.APP/Contents/Info.plist");
        write(m_sys + "/.Hidden.app/Contents/Info.plist");
        write(m_sys + "/Utilities/Inner.app/Contents/Info.plist");
        write(m_sys + "/Tool.AppImage");
        QCOMPARE(names(ApplicationsViewModel::findApplications()),
                 QStringList({"Store.app|App Store", "Web.app|Web"}));
    }

    void uninstall_data()
    {
        QTest::addColumn<QString>("kind"); // move, refused, link, flatpak, flatpak fails, …
        QTest::addColumn<bool>("rowGoes");
        QTest::addColumn<QString>("leftover"); // expected on screen, relative to home
        QTest::newRow("moved") << "move" << true << ".config/notepad";
        // Its menu entry and icon go with it; its settings are found by the entry's names.
        QTest::newRow("with its entry") << "entry" << true << ".config/notepad,.config/padxrc";
        QTest::newRow("replaced since listed") << "replaced" << false << "";
        // Only the entry is the user's: the program it starts, outside the home, stays.
        QTest::newRow("entry for a program elsewhere") << "outside" << true << "";
        QTest::newRow("refused") << "refused" << false << "";
        QTest::newRow("a link") << "link" << true << "";
        QTest::newRow("flatpak") << "flatpak" << true << ".var/app/org.example.Notepad";
        QTest::newRow("flatpak fails") << "flatpak fails" << false << "";
    }
    void uninstall()
    {
        QFETCH(QString, kind);
        QFETCH(bool, rowGoes);
        QFETCH(QString, leftover);
        const QString root = m_env->root();
        const QString home = m_env->home();
        Preferences::setValue("scanSystemApps", false);
        write(root + "/elsewhere/Notepad-2.AppImage");
        QDir().mkpath(m_user);
        if (kind == "link")
            QVERIFY(QFile::link(root + "/elsewhere/Notepad-2.AppImage",
                                m_user + "/Notepad-2.AppImage"));
        else if (!kind.startsWith("flatpak"))
            write(m_user + "/Notepad-2.AppImage");
        if (kind == "refused")
            m_env->editLocations([&](Locations &l) { l.protectedTrees << m_user; });
        const QString entries = home + "/.local/share/applications";
        const QString icon = home + "/.local/share/icons/hicolor/48x48/apps/notepad.png";
        if (kind == "entry") {
            write(entries + "/notepad.desktop",
                  "[Desktop Entry]\nName=Notepad\nExec=" + m_user.toUtf8() +
                      "/Notepad-2.AppImage %f\nIcon=notepad\n"
                      "StartupWMClass=PadX\n");
            write(icon);
            write(home + "/.config/padxrc");
        }
        if (kind == "outside") {
            QFile::remove(m_user + "/Notepad-2.AppImage");
            write(entries + "/notepad.desktop", "[Desktop Entry]\nName=Notepad\nExec=\"" +
                                                    root.toUtf8() +
                                                    "/elsewhere/Notepad-2.AppImage\" --new\n");
            m_env->editLocations([&](Locations &l) { l.menuEntryFolders = {entries}; });
        }
        if (!kind.startsWith("flatpak"))
            write(home + "/.config/notepad/settings");
        const QString app = root + "/flatpak/app/org.example.Notepad";
        if (kind.startsWith("flatpak")) {
            write(app + "/current/files/x");
            write(home + "/.var/app/org.example.Notepad/config/x");
            write(root + "/args", "");
            const QByteArray body = kind == "flatpak"
                                        ? "printf '%s\\n' \"$@\" > " + root.toUtf8() +
                                              "/args\nrm -r " + app.toUtf8() + "\nexit 0\n"
                                        : "echo 'error: Notepad is running' >&2\nexit 1\n";
            write(root + "/bin/flatpak", "#!/bin/sh\n" + body);
            QFile::setPermissions(root + "/bin/flatpak", QFileDevice::ReadOwner |
                                                             QFileDevice::WriteOwner |
                                                             QFileDevice::ExeOwner);
        }

        AppState state;
        ApplicationsViewModel *model = state.applicationsVM();
        model->scan(&state);
        QTRY_COMPARE(model->applications().size(), 1);
        const QString path = model->applications().first().path;
        if (kind == "replaced") {
            QVERIFY(QFile::remove(path));
            write(path, "another");
        }
        QSignalSpy failed(model, &ApplicationsViewModel::uninstallFailed);
        model->trashApp(path, &state);
        QVERIFY(model->isUninstalling(path));
        QTRY_VERIFY(!model->isUninstalling(path));
        state.waitForLeftoverSearches();
        QTest::qWait(50);

        QCOMPARE(model->applications().isEmpty(), rowGoes);
        QCOMPARE(failed.size(), rowGoes ? 0 : 1);
        if (!rowGoes)
            QVERIFY(!failed.first().at(1).toString().isEmpty());
        if (kind == "flatpak") {
            QFile args(root + "/args");
            QVERIFY(args.open(QIODevice::ReadOnly));
            QCOMPARE(args.readAll(),
                     "uninstall\n--noninteractive\n--user\n--\norg.example.Notepad\n");
        }
        if (kind == "link" || kind == "outside")
            QVERIFY(QFile::exists(root + "/elsewhere/Notepad-2.AppImage"));
        if (kind == "entry" || kind == "outside")
            QVERIFY(!QFile::exists(entries + "/notepad.desktop"));
        if (kind == "entry")
            QVERIFY(!QFile::exists(icon));
        if (leftover.isEmpty()) {
            QVERIFY(!state.leftoverReport());
        } else {
            QVERIFY(state.leftoverReport());
            QStringList shown;
            for (const Leftover &l : state.leftoverReport()->leftovers)
                shown << l.displayPath().mid(home.size() + 1);
            shown.sort();
            QCOMPARE(shown.join(','), leftover);
        }
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
    QString m_sys, m_user;
};

QTEST_GUILESS_MAIN(tst_ApplicationsViewModel)
#include "tst_ApplicationsViewModel.moc"
