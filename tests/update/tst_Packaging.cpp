#include "app/TabNavigation.h"
#include "app/screens/DesktopIntegration.h"
#include "platform/desktop/AppInfo.h"
#include "support/DesktopEntryReader.h"
#include "support/LocalHttpServer.h"
#include "support/TestEnvironment.h"
#include "update/ReleaseTree.h"
#include "update/Updater.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// Installs into a temporary prefix and runs the release command on this build with a
// throw-away signing key.
class tst_Packaging : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir{QDir::tempPath() + "/qm-pkg-XXXXXX"};
    QString m_out, m_gnupg, m_notes, m_tarball, m_releaseTemp;

    struct Ran {
        int code = -1;
        QString out;
    };
    static Ran run(const QString &program, const QStringList &args,
                   const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.setProcessEnvironment(env);
        p.start(program, args);
        p.waitForFinished(300000);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAll())};
    }
    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Nothing at all to say: an error, a warning or a hint fails.
    static bool validEntry(const Ran &validated)
    {
        return validated.code == 0 && validated.out.trimmed().isEmpty();
    }
    Ran release(const QStringList &extra)
    {
        // Its own temporary folder, so the archive can be searched for its name.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", m_releaseTemp);
        return run(QUILLMAR_SOURCE_DIR "/scripts/release",
                   QStringList{"--key", "test@example.invalid", "--gnupghome", m_gnupg, "--notes",
                               m_notes, "--out", m_out, "--build-dir", QUILLMAR_BINARY_DIR} +
                       extra,
                   env);
    }
    QString unpacked() const { return m_dir.filePath("unpacked/Quillmar"); }
    // The packages that hold `paths`, as dpkg names them. With /usr merged, a library is
    // reached as /lib/… or /usr/lib/…, and dpkg knows only the name its package gave.
    static QSet<QString> owners(const QStringList &paths)
    {
        QSet<QString> packages;
        for (const QString &path : paths) {
            QStringList names{path, QFileInfo(path).canonicalFilePath()};
            for (const QString &name : QStringList(names))
                names.append(name.startsWith("/usr/") ? name.mid(4) : "/usr" + name);
            QString owner = "<none for " + path + ">";
            for (const QString &name : names) {
                const Ran found = run("dpkg", {"-S", "--", name});
                if (found.code == 0) {
                    owner = found.out.section(": ", 0, 0).section(':', 0, 0);
                    break;
                }
            }
            packages.insert(owner);
        }
        return packages;
    }
    static QSet<QString> listed()
    {
        QSet<QString> packages;
        for (const QByteArray &line :
             read(QUILLMAR_SOURCE_DIR "/data/runtime-packages").split('\n'))
            if (!line.trimmed().isEmpty())
                packages.insert(QString::fromUtf8(line.trimmed()));
        return packages;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_out = m_dir.filePath("out");
        m_gnupg = m_dir.filePath("gnupg");
        m_releaseTemp = m_dir.filePath("release-temp");
        m_notes = m_dir.filePath("notes.txt");
        QVERIFY(QDir().mkpath(m_gnupg) && QDir().mkpath(m_releaseTemp));
        QFile::setPermissions(m_gnupg, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner);
        const Ran key =
            run("gpg", {"--homedir", m_gnupg, "--batch", "--passphrase", "", "--quick-gen-key",
                        "Quillmar Test <test@example.invalid>", "ed25519", "sign", "never"});
        QVERIFY2(key.code == 0, qPrintable(key.out));
        QFile notes(m_notes);
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("Faster duplicate scan\nQuotes \"kept\" and a back\\slash\n");
        notes.close();
        const Ran made = release({"--test-key"});
        QVERIFY2(made.code == 0, qPrintable(made.out));
        m_tarball = m_out + QString("/downloads/Quillmar-%1-%2.tar.gz")
                                .arg(Updater::currentVersion(), run("uname", {"-m"}).out.trimmed());
        QVERIFY2(QFile::exists(m_tarball), qPrintable(made.out));
        QVERIFY(QDir().mkpath(m_dir.filePath("unpacked")));
        QCOMPARE(run("tar", {"-xzf", m_tarball, "-C", m_dir.filePath("unpacked")}).code, 0);
    }
    void cleanupTestCase() { run("gpgconf", {"--homedir", m_gnupg, "--kill", "gpg-agent"}); }

    void installTreeHoldsEveryFile_data()
    {
        QTest::addColumn<QString>("file");
        for (const char *f :
             {"bin/quillmar", "bin/quillmar-cli", "share/man/man1/quillmar-cli.1.gz",
              "share/applications/com.ornk.quillmar.desktop",
              "share/metainfo/com.ornk.quillmar.metainfo.xml", "share/man/man1/quillmar.1.gz",
              "share/icons/hicolor/scalable/apps/com.ornk.quillmar.svg",
              "share/icons/hicolor/16x16/apps/com.ornk.quillmar.png",
              "share/icons/hicolor/48x48/apps/com.ornk.quillmar.png",
              "share/icons/hicolor/256x256/apps/com.ornk.quillmar.png"})
            QTest::newRow(f) << QString(f);
    }
    void installTreeHoldsEveryFile()
    {
        QFETCH(QString, file);
        // Characters the entry's Exec must quote.
        const QString prefix = m_dir.filePath("pre fix $100%");
        if (!QFile::exists(prefix + "/bin/quillmar")) {
            const Ran install =
                run("cmake", {"--install", QUILLMAR_BINARY_DIR, "--prefix", prefix});
            QVERIFY2(install.code == 0, qPrintable(install.out));
        }
        QVERIFY(QFileInfo(prefix + '/' + file).isFile());
        if (file.endsWith(".desktop")) {
            const Ran valid = run("desktop-file-validate", {prefix + '/' + file});
            QVERIFY2(validEntry(valid), qPrintable(valid.out));
            QCOMPARE(DesktopEntryReader::execArguments(read(prefix + '/' + file)),
                     QStringList{prefix + "/bin/quillmar"});
        } else if (file.endsWith(".xml")) {
            const Ran valid = run("appstreamcli", {"validate", "--no-net", prefix + '/' + file});
            QVERIFY2(valid.code == 0, qPrintable(valid.out));
        } else if (file.endsWith(".gz")) {
            const Ran warnings = run("man", {"--warnings", "-l", "-Tutf8", prefix + '/' + file});
            QVERIFY2(warnings.code == 0 && !warnings.out.contains("warning"),
                     qPrintable(warnings.out));
        } else if (file.startsWith("bin/")) {
            QVERIFY(QFileInfo(prefix + '/' + file).isExecutable());
        }
    }

    void tarballIsOneFolderThatStarts()
    {
        const Ran listing = run("tar", {"-tzf", m_tarball});
        QCOMPARE(listing.code, 0);
        const QStringList entries = listing.out.split('\n', Qt::SkipEmptyParts);
        for (const char *needed : {"bin/quillmar", "bin/quillmar-cli", "share/quillmar/release-keyring.gpg",
                                   "share/quillmar/runtime-packages"})
            QVERIFY2(entries.contains("Quillmar/" + QString(needed)), needed);
        for (const QString &e : entries)
            QVERIFY2(e.startsWith("Quillmar/") && !e.startsWith("Quillmar/share/applications/"),
                     qPrintable(e));
        // No file names the machine the release was made on: the copy may be anywhere.
        QDirIterator it(unpacked(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QByteArray bytes = read(it.next());
            for (const QByteArray &place :
                 {QByteArray(QUILLMAR_BINARY_DIR), QByteArray(QUILLMAR_SOURCE_DIR),
                  m_releaseTemp.toUtf8()})
                QVERIFY2(!bytes.contains(place), qPrintable(it.filePath() + " names " + place));
        }

        // What the updater asks of the folder it replaces and of the tree it unpacks.
        const QByteArray tree = QFile::encodeName(unpacked());
        QVERIFY(ReleaseTree::holdsOnlyListed(tree));
        const std::optional<ReleaseTree::Info> info = ReleaseTree::readInfo(tree);
        QVERIFY(info);
        QCOMPARE(info->build, Updater::currentVersion());
        QCOMPARE(info->version, AppInfo::shortVersion());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        const Ran said = run(unpacked() + "/bin/quillmar", {"--version"}, env);
        QCOMPARE(said.code, 0);
        QVERIFY2(said.out.contains(QString("Quillmar %1 (build %2)")
                                       .arg(AppInfo::shortVersion(), AppInfo::buildNumber())),
                 qPrintable(said.out));
    }

    // Every package the program links or loads a plugin from is one the list names, the
    // list the README and the Debian package's dependencies are made from.
    void runtimePackagesAreListed()
    {
        QStringList libraries;
        const QString program = unpacked() + "/bin/quillmar";
        const Ran dynamic = run("readelf", {"--dynamic", "--wide", program});
        const Ran resolved = run("ldd", {program});
        QCOMPARE(dynamic.code, 0);
        for (const auto &needed :
             QRegularExpression(R"(\(NEEDED\).*\[([^\]]+)\])").globalMatch(dynamic.out)) {
            // "libQt6Core.so.6 => /usr/lib/…/libQt6Core.so.6 (0x…)", or the loader's own path.
            const QRegularExpressionMatch path =
                QRegularExpression("^\\s*(\\S*/)?" +
                                       QRegularExpression::escape(needed.captured(1)) +
                                       R"((?: => (\S+))? \()",
                                   QRegularExpression::MultilineOption)
                    .match(resolved.out);
            QVERIFY2(path.hasMatch(),
                     qPrintable(needed.captured(1) + " unresolved:\n" + resolved.out));
            libraries.append(path.captured(2).isEmpty() ? path.captured(1) + needed.captured(1)
                                                        : path.captured(2));
        }
        QVERIFY2(libraries.size() >= 6, qPrintable(dynamic.out));

        // The plugins a window with the toolbar's icons loads. Headless it is the offscreen
        // platform; a desktop loads xcb from the same folder.
        const QString home = m_dir.filePath("plugin-run");
        QVERIFY(QDir().mkpath(home + "/config/ornk"));
        QFile prefs(home + "/config/ornk/Quillmar.conf");
        QVERIFY(prefs.open(QIODevice::WriteOnly));
        prefs.write("[General]\nautoScanOnLaunch=false\n");
        prefs.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QT_DEBUG_PLUGINS", "1");
        env.insert("HOME", home);
        env.insert("XDG_CONFIG_HOME", home + "/config");
        const Ran shown = run(program, {"--tab", "junk", "--screenshot", home + "/shot.png"}, env);
        QCOMPARE(shown.code, 0);
        QStringList plugins;
        for (const auto &loaded :
             QRegularExpression(R"re("([^"]+/plugins/[^"]+)" loaded library)re")
                 .globalMatch(shown.out))
            plugins.append(loaded.captured(1));
        const auto platform = std::find_if(plugins.cbegin(), plugins.cend(), [](const QString &p) {
            return p.endsWith("/platforms/libqoffscreen.so");
        });
        QVERIFY2(platform != plugins.cend(), qPrintable(shown.out.left(3000)));
        plugins.append(QFileInfo(*platform).path() + "/libqxcb.so");
        QVERIFY2(std::any_of(plugins.cbegin(), plugins.cend(),
                             [](const QString &p) { return p.contains("/iconengines/"); }),
                 qPrintable(plugins.join('\n')));

        const QSet<QString> used = owners(libraries + plugins);
        QVERIFY2(listed().contains(used),
                 qPrintable("unlisted: " + QStringList((used - listed()).values()).join(", ")));
    }

    void signatureVerifiesOnlyTheSameBytes_data()
    {
        QTest::addColumn<bool>("changeAByte");
        QTest::newRow("as released") << false;
        QTest::newRow("one byte changed") << true;
    }
    void signatureVerifiesOnlyTheSameBytes()
    {
        QFETCH(bool, changeAByte);
        QByteArray bytes = read(m_tarball);
        if (changeAByte)
            bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x01);
        const QString copy = m_dir.filePath(changeAByte ? "changed.tar.gz" : "same.tar.gz");
        QFile out(copy);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        out.close();
        // The keyring the tarball ships, not the signer's own key store.
        const Ran verdict =
            run("gpgv", {"--keyring", unpacked() + "/share/quillmar/release-keyring.gpg",
                         m_tarball + ".sig", copy});
        QCOMPARE(verdict.code == 0, !changeAByte);
    }

    // Only the key the README publishes signs a release unless asked for a test release;
    // the published fingerprint is the one the README tells people to compare.
    void releaseKeyIsThePublishedOne()
    {
        const QByteArray published =
            read(QUILLMAR_SOURCE_DIR "/data/release-fingerprint").trimmed();
        QCOMPARE(published.size(), 40);
        QVERIFY(read(QUILLMAR_SOURCE_DIR "/README.md").contains(published));
        const Ran refused = release({});
        QCOMPARE(refused.code, 1);
        QVERIFY2(refused.out.contains("is not the published release key " + published),
                 qPrintable(refused.out));
    }

    // The release folder served as it is, at a site's base, updates an unpacked copy.
    void releaseFolderServedAsItIsUpdatesACopy()
    {
        TestEnvironment env;
        LocalHttpServer site;
        QDirIterator it(m_out, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            site.set('/' + QDir(m_out).relativeFilePath(file), read(file));
        }
        const QString copy = env.root() + "/apps/Quillmar";
        QVERIFY(QDir().mkpath(env.root() + "/apps"));
        QCOMPARE(run("cp", {"-a", unpacked(), copy}).code, 0);
        QFile program(copy + "/bin/quillmar");
        QVERIFY(program.open(QIODevice::WriteOnly));
        program.write("the build before");
        program.close();
        Updater::setBase(site.base());
        Updater::setCurrentVersion("0");
        Updater::setRunningCopy(copy);
        int launched = 0;
        Updater::setLauncher(
            [&](const QString &, const QStringList &) {
                ++launched;
                return true;
            },
            [] {});

        const Updater::LatestResult latest = Updater::fetchLatest();
        const auto *offered = std::get_if<Updater::Release>(&latest);
        QVERIFY(offered);
        QCOMPARE(offered->version, AppInfo::buildNumber());
        QCOMPARE(offered->notes,
                 QStringList({"Faster duplicate scan", "Quotes \"kept\" and a back\\slash"}));
        const auto failure = Updater::runInstall(*offered, [](const QString &) {});
        Updater::resetSeams();

        QVERIFY2(!failure, qPrintable(failure ? failure->message : QString()));
        QCOMPARE(read(copy + "/bin/quillmar"), read(unpacked() + "/bin/quillmar"));
        QCOMPARE(launched, 1);
    }

    void menuEntryForAnUnpackedCopy_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("plain") << "Apps/Quillmar";
        QTest::newRow("blank, quote, dollar, percent") << "My \"Apps\" $HOME 100%/Quillmar";
    }
    void menuEntryForAnUnpackedCopy()
    {
        QFETCH(QString, folder);
        const QString unpacked = m_dir.filePath(folder);
        const QString menu = m_dir.filePath("menu-" + QString::number(qHash(folder)));
        QCOMPARE(DesktopIntegration::addToMenu(unpacked, menu), std::nullopt);
        const QString entry = menu + "/com.ornk.quillmar.desktop";
        const Ran valid = run("desktop-file-validate", {entry});
        QVERIFY2(validEntry(valid), qPrintable(valid.out));
        // What a launcher runs, once the quoting is undone, is this copy's program.
        QCOMPARE(DesktopEntryReader::execArguments(read(entry)),
                 QStringList{unpacked + "/bin/quillmar"});
        // Only a folder with the shipped keyring counts as unpacked from the tarball.
        QVERIFY(!DesktopIntegration::unpackedFolder(unpacked + "/bin"));
        QVERIFY(QDir().mkpath(unpacked + "/share/quillmar"));
        QFile(unpacked + "/share/quillmar/release-keyring.gpg").open(QIODevice::WriteOnly);
        QCOMPARE(DesktopIntegration::unpackedFolder(unpacked + "/bin"), std::optional(unpacked));
    }

    void debianPackage()
    {
        const QStringList debs = QDir(m_out + "/downloads").entryList({"*.deb"});
        QCOMPARE(debs.size(), 1);
        const QString deb = m_out + "/downloads/" + debs.first();
        QSet<QString> depends;
        for (const QString &entry : run("dpkg-deb", {"-f", deb, "Depends"}).out.split(','))
            depends.insert(entry.section('(', 0, 0).trimmed());
        QCOMPARE(depends, listed());
        // Not even a remark: the hardening and stripping tags are only informational.
        const Ran lintian = run("lintian", {"--pedantic", "--display-info", deb});
        const QRegularExpression tag("^[EWIP]: ", QRegularExpression::MultilineOption);
        QVERIFY2(lintian.code == 0 && !tag.match(lintian.out).hasMatch(), qPrintable(lintian.out));

        const QString root = m_dir.filePath("deb");
        QCOMPARE(run("dpkg-deb", {"-x", deb, root}).code, 0);
        QVERIFY(QFileInfo(root + "/usr/bin/quillmar").isExecutable());
        QVERIFY(QFileInfo(root + "/usr/bin/quillmar-cli").isExecutable());
        QCOMPARE(DesktopEntryReader::execArguments(
                     read(root + "/usr/share/applications/com.ornk.quillmar.desktop")),
                 QStringList{"/usr/bin/quillmar"});
        // Only the tarball carries the keyring.
        QVERIFY(!QFile::exists(root + "/usr/share/quillmar/release-keyring.gpg"));
    }

    // --help and the manual page name every value --tab accepts.
    void everyTabIsNamed()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("MANWIDTH", "200");
        const Ran help = run(unpacked() + "/bin/quillmar", {"--help"});
        const Ran manual = run("man", {"-l", unpacked() + "/share/man/man1/quillmar.1.gz"}, env);
        QCOMPARE(manual.code, 0);
        const QString helpTab = help.out.section("--tab <tab>", 1).section("\n  -", 0, 0);
        const QString manualTab = manual.out.section("--tab tab", 1).section("--map", 0, 0);
        for (const TabNavigation &tab : TabNavigation::allCases()) {
            const QRegularExpression word("\\b" + tab.rawValue() + "\\b");
            QVERIFY2(helpTab.contains(word), qPrintable(tab.rawValue() + " in\n" + help.out));
            QVERIFY2(manualTab.contains(word), qPrintable(tab.rawValue() + " in\n" + manual.out));
        }
    }
};

QTEST_GUILESS_MAIN(tst_Packaging)
#include "tst_Packaging.moc"
