#include "applications/AppLeftovers.h"
#include "applications/DesktopApps.h"
#include "support/FakeTools.h"
#include "support/TestEnvironment.h"

#include <QTest>

#include <memory>

namespace {

void write(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray entry(const QByteArray &name, const QByteArray &exec, const QByteArray &more = {})
{
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec + "\n" + more;
}

} // namespace

class tst_DesktopApps : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_tools = std::make_unique<FakeTools>(m_env->root() + "/tools");
        const QString r = m_env->root();
        m_system = r + "/share/applications";
        m_user = m_env->home() + "/.local/share/applications";
        m_env->editLocations([&](Locations &l) {
            l.userDesktopEntries = m_user;
            l.flatpakUserExports = r + "/flatpak/exports";
            l.flatpakUserApps = r + "/flatpak/app";
            l.flatpakSystemExports.clear();
            l.snapDesktopEntries = r + "/snapd/applications";
            l.snapFiles = r + "/snaps";
            l.menuEntryFolders = {m_user, l.flatpakUserExports, m_system, l.snapDesktopEntries};
            l.dpkgSystem = r + "/dpkg-status";
            l.dpkg = m_tools->tool("dpkg");
            l.dpkgQuery = m_tools->tool("dpkg-query");
            l.aptGet = m_tools->tool("apt-get");
            l.pkexec = "/usr/bin/pkexec";
            l.snap = "/usr/bin/snap";
        });
        write(r + "/dpkg-status", "");
        qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    }
    void cleanup()
    {
        qunsetenv("XDG_CURRENT_DESKTOP");
        m_tools.reset();
        m_env.reset();
    }

    // What the menu shows and how each row was installed, from one dpkg -S and one
    // dpkg-query call whatever the number of entries.
    void listsTheMenu()
    {
        const QString r = m_env->root();
        const QString home = m_env->home();
        // Its program's access time tells when it last ran, where the file system keeps one.
        write(r + "/bin/vim", "#!/bin/sh\n");
        QFile program(r + "/bin/vim");
        QVERIFY(program.open(QIODevice::ReadWrite));
        QVERIFY(program.setFileTime(QDateTime(QDate(2023, 1, 2), QTime(12, 0), Qt::UTC),
                                    QFileDevice::FileAccessTime));
        program.close();
        write(m_system + "/vim.desktop", entry("Vim", r.toUtf8() + "/bin/vim %F", "Icon=gvim\n"));
        write(m_system + "/libby.desktop", entry("Libby", "libby"));
        write(m_system + "/core.desktop", entry("Core", "core"));
        write(m_system + "/local.desktop", entry("Local", "local"));
        write(m_system + "/nodisplay.desktop", entry("No Display", "x", "NoDisplay=true\n"));
        write(m_system + "/kde.desktop", entry("KDE Only", "x", "OnlyShowIn=KDE;\n"));
        write(m_system + "/notgnome.desktop", entry("Not GNOME", "x", "NotShowIn=Foo;GNOME;\n"));
        write(m_system + "/gnome.desktop", entry("GNOME Only", "gn", "OnlyShowIn=GNOME;\n"));
        write(m_system + "/link.desktop", "[Desktop Entry]\nType=Link\nName=Web\nURL=x\n");
        // The user's own entry of the same id hides the system's.
        write(m_system + "/hiddenbyuser.desktop", entry("Shadowed", "sh"));
        write(m_user + "/hiddenbyuser.desktop", entry("Shadowed", "sh", "Hidden=true\n"));
        // Hostile: a line feed in the name, quotes in Exec, a program outside the home.
        write(m_user + "/evil.desktop",
              entry("Evil\\nName", "\"/usr/bin/ev il\" --open \"a\\\"b\""));
        write(home + "/Apps/Krita.AppImage", QByteArray(50000, 'k'));
        write(m_user + "/krita.desktop",
              entry("Krita", home.toUtf8() + "/Apps/Krita.AppImage", "StartupWMClass=krita\n"));
        write(r + "/flatpak/exports/org.example.Paint.desktop",
              entry("Paint", "/usr/bin/flatpak run org.example.Paint"));
        write(r + "/flatpak/app/org.example.Paint/current/files/bin", QByteArray(9000, 'p'));
        write(r + "/snapd/applications/chat_chat.desktop", entry("Chat", "/snap/bin/chat"));
        write(r + "/snaps/chat_12.snap", QByteArray(8192, 's'));
        write(r + "/snaps/chat_13.snap", QByteArray(8192, 's'));
        write(r + "/snaps/chatter_1.snap", QByteArray(8192, 's'));
        write(m_env->home() + "/.local/share/recently-used.xbel",
              "<?xml version=\"1.0\"?><xbel><bookmark href=\"file:///a\"><info><metadata>"
              "<bookmark:applications><bookmark:application name=\"krita\" "
              "exec=\"&apos;krita %u&apos;\" modified=\"2024-03-01T10:00:00Z\" count=\"1\"/>"
              "</bookmark:applications></metadata></info></bookmark></xbel>");

        const QString s = m_system;
        m_tools->answer("dpkg",
                        "vim: " + s.toUtf8() + "/vim.desktop\nlibby:amd64: " + s.toUtf8() +
                            "/libby.desktop\ncore, core-extra: " + s.toUtf8() +
                            "/core.desktop\ndiversion by x from: " + s.toUtf8() +
                            "/local.desktop\n",
                        1);
        m_tools->answer("dpkg-query", "vim\tii \tno\t3072\t\tlibc6 (>= 2.34), vim-common\n"
                                      "libby:amd64\tii \tno\t10\t\t\n"
                                      "core\tii \tyes\t20\t\t\n"
                                      "user\tii \tno\t1\tlibc6\tpython3:any | libby (>= 1)\n"
                                      "gone\trc \tno\t1\t\tvim\n");

        QStringList rows;
        for (const AppResource &app : DesktopApps::list()) {
            rows << app.name + "|" + app.source + "|" + app.package + "|" +
                        (app.keptReason.isEmpty() ? "offered" : "kept") + "|" +
                        QString::number(qRound(app.sizeMB * 1024)) + "|" + app.lastUsed;
            if (app.name == "Vim")
                QCOMPARE(app.icon, "gvim");
        }
        rows.sort();
        QCOMPARE(rows,
                 QStringList({
                     "Chat|Snap|chat|offered|16|Unknown",
                     "Core|Debian package|core|kept|20|Unknown",
                     "Evil Name|Installed for you||offered|0|Unknown",
                     "GNOME Only|System||kept|0|Unknown",
                     "Krita|AppImage||offered|" +
                         QString::number(qRound(
                             FileProperties::read(home + "/Apps/Krita.AppImage")->allocatedBytes /
                             1024.0)) +
                         "|2024-03-01",
                     "Libby|Debian package|libby:amd64|kept|10|Unknown",
                     "Local|System||kept|0|Unknown",
                     "Paint|Flatpak||offered|" +
                         QString::number(qRound(AppLeftovers::allocatedSize(nativePath(
                                                    r + "/flatpak/app/org.example.Paint")) /
                                                1024.0)) +
                         "|Unknown",
                     "Vim|Debian package|vim|offered|3072|2023-01-02",
                 }));
        QStringList tools;
        for (const QStringList &call : m_tools->calls())
            tools << call.first();
        QCOMPARE(tools, QStringList({"dpkg", "dpkg-query"}));
        const QStringList search = m_tools->calls().first();
        QCOMPARE(search.mid(1, 2), QStringList({"-S", "--"}));
        QCOMPARE(search.size(), 3 + 5); // every shown system entry, in one call
    }

    void plansARemoval_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("package");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<QString>("command"); // empty: refused
        QTest::addColumn<QStringList>("also");
        QTest::newRow("package") << int(AppResource::Kind::Package) << "vim"
                                 << ""
                                 << "'/usr/bin/pkexec' 'APT' remove -y -- 'vim'"
                                 << QStringList{"vim-gtk3"};
        QTest::newRow("snap") << int(AppResource::Kind::Snap) << "chat"
                              << ""
                              << "'/usr/bin/pkexec' '/usr/bin/snap' remove -- 'chat'"
                              << QStringList{};
        QTest::newRow("kept") << int(AppResource::Kind::Package) << "core"
                              << "essential"
                              << "" << QStringList{};
        QTest::newRow("an option for a name") << int(AppResource::Kind::Package) << "--purge"
                                              << ""
                                              << "" << QStringList{};
    }
    void plansARemoval()
    {
        QFETCH(int, kind);
        QFETCH(QString, package);
        QFETCH(QString, kept);
        QFETCH(QString, command);
        QFETCH(QStringList, also);
        m_tools->answer("apt-get", "NOTE: simulation\nRemv vim [2:9.0]\nRemv vim-gtk3 [2:9.0]\n"
                                   "Inst other\n");
        AppResource app;
        app.kind = AppResource::Kind(kind);
        app.name = "App";
        app.package = package;
        app.keptReason = kept;
        const DesktopApps::RemovalPlan plan = DesktopApps::planRemoval(app);
        QCOMPARE(plan.command, command.replace("APT", Locations::current().aptGet));
        QCOMPARE(plan.alsoRemoved, also);
        QCOMPARE(plan.error.isEmpty(), !command.isEmpty());
        if (kind == int(AppResource::Kind::Package) && !command.isEmpty())
            QCOMPARE(m_tools->calls().value(0),
                     QStringList({"apt-get", "-s", "remove", "--", package}));
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<FakeTools> m_tools;
    QString m_system, m_user;
};

QTEST_GUILESS_MAIN(tst_DesktopApps)
#include "tst_DesktopApps.moc"
