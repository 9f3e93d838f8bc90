#include "app/screens/DesktopIntegration.h"
#include "platform/desktop/AppInfo.h"
#include "support/DesktopEntryReader.h"
#include "update/ReleaseTree.h"
#include "update/Updater.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// Installs into a temporary prefix and runs the release command on this build with a
// throw-away signing key.
class tst_Packaging : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir{QDir::tempPath() + "/qm-pkg-XXXXXX"};
    QString m_out, m_gnupg, m_tarball;

    struct Ran {
        int code = -1;
        QString out;
    };
    static Ran run(const QString &program, const QStringList &args, const QString &cwd = {})
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        if (!cwd.isEmpty())
            p.setWorkingDirectory(cwd);
        p.start(program, args);
        p.waitForFinished(300000);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAll())};
    }
    static QString read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    // Errors and warnings fail; a hint does not (System;Utility is the category pair the
    // entry asks for, which the validator only remarks on).
    static bool validEntry(const Ran &validated)
    {
        return validated.code == 0 && !validated.out.contains("error:") &&
               !validated.out.contains("warning:");
    }
    static QString execLine(const QString &entry)
    {
        for (const QString &line : read(entry).split('\n'))
            if (line.startsWith("Exec="))
                return line.mid(5);
        return QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_out = m_dir.filePath("out");
        m_gnupg = m_dir.filePath("gnupg");
        QVERIFY(QDir().mkpath(m_gnupg));
        QFile::setPermissions(m_gnupg, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner);
        const Ran key =
            run("gpg", {"--homedir", m_gnupg, "--batch", "--passphrase", "", "--quick-gen-key",
                        "Quillmar Test <test@example.invalid>", "ed25519", "sign", "never"});
        QVERIFY2(key.code == 0, qPrintable(key.out));
        QFile notes(m_dir.filePath("notes.txt"));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("Faster duplicate scan\nQuotes \"kept\" and a back\\slash\n");
        notes.close();
        const Ran release =
            run(QUILLMAR_SOURCE_DIR "/scripts/release",
                {"--key", "test@example.invalid", "--gnupghome", m_gnupg, "--notes",
                 notes.fileName(), "--out", m_out, "--build-dir", QUILLMAR_BINARY_DIR});
        QVERIFY2(release.code == 0, qPrintable(release.out));
        m_tarball = m_out + QString("/Quillmar-%1-%2.tar.gz")
                                .arg(Updater::currentVersion(), run("uname", {"-m"}).out.trimmed());
        QVERIFY2(QFile::exists(m_tarball), qPrintable(release.out));
    }
    void cleanupTestCase() { run("gpgconf", {"--homedir", m_gnupg, "--kill", "gpg-agent"}); }

    void installTreeHoldsEveryFile_data()
    {
        QTest::addColumn<QString>("file");
        for (const char *f : {"bin/quillmar", "bin/quillmar-cli", "share/man/man1/quillmar-cli.1",
                              "share/applications/com.ornk.quillmar.desktop",
                              "share/metainfo/com.ornk.quillmar.metainfo.xml",
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
            QCOMPARE(DesktopEntryReader::execArguments(read(prefix + '/' + file).toUtf8()),
                     QStringList{prefix + "/bin/quillmar"});
        } else if (file.endsWith(".xml")) {
            const Ran valid = run("appstreamcli", {"validate", "--no-net", prefix + '/' + file});
            QVERIFY2(valid.code == 0, qPrintable(valid.out));
        } else if (file.startsWith("bin/")) {
            QVERIFY(QFileInfo(prefix + '/' + file).isExecutable());
        }
    }

    void tarballIsOneFolderThatStarts()
    {
        const Ran listing = run("tar", {"-tzf", m_tarball});
        QCOMPARE(listing.code, 0);
        const QStringList entries = listing.out.split('\n', Qt::SkipEmptyParts);
        QVERIFY(entries.contains("Quillmar/bin/quillmar"));
        QVERIFY(entries.contains("Quillmar/bin/quillmar-cli"));
        QVERIFY(entries.contains("Quillmar/share/quillmar/release-keyring.gpg"));
        for (const QString &e : entries)
            QVERIFY2(e.startsWith("Quillmar/"), qPrintable(e));

        const QString unpacked = m_dir.filePath("unpacked");
        QVERIFY(QDir().mkpath(unpacked));
        QCOMPARE(run("tar", {"-xzf", m_tarball, "-C", unpacked}).code, 0);
        // What the updater asks of the folder it replaces and of the tree it unpacks.
        const QByteArray tree = QFile::encodeName(unpacked + "/Quillmar");
        QVERIFY(ReleaseTree::holdsOnlyListed(tree));
        const std::optional<ReleaseTree::Info> info = ReleaseTree::readInfo(tree);
        QVERIFY(info);
        QCOMPARE(info->build, Updater::currentVersion());
        QCOMPARE(info->version, AppInfo::shortVersion());
        QProcess program;
        program.setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(env);
        program.start(unpacked + "/Quillmar/bin/quillmar", {"--version"});
        QVERIFY(program.waitForFinished(30000));
        const QString said = QString::fromUtf8(program.readAll());
        QCOMPARE(program.exitCode(), 0);
        QVERIFY2(said.contains(QString("Quillmar %1 (build %2)")
                                   .arg(AppInfo::shortVersion(), AppInfo::buildNumber())),
                 qPrintable(said));
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
        QFile original(m_tarball);
        QVERIFY(original.open(QIODevice::ReadOnly));
        QByteArray bytes = original.readAll();
        if (changeAByte)
            bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x01);
        const QString copy = m_dir.filePath(changeAByte ? "changed.tar.gz" : "same.tar.gz");
        QFile out(copy);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        out.close();
        // The keyring the tarball ships, not the signer's own key store.
        const QString keyring = m_dir.filePath("shipped-keyring.gpg");
        if (!QFile::exists(keyring)) {
            QCOMPARE(run("tar", {"-xzf", m_tarball, "-C", m_dir.path(),
                                 "Quillmar/share/quillmar/release-keyring.gpg"})
                         .code,
                     0);
            QVERIFY(QFile::copy(m_dir.filePath("Quillmar/share/quillmar/release-keyring.gpg"),
                                keyring));
        }
        const Ran verdict = run("gpgv", {"--keyring", keyring, m_tarball + ".sig", copy});
        QCOMPARE(verdict.code == 0, !changeAByte);
    }

    void feedParsesWithTheUpdatersReader()
    {
        const Updater::LatestResult parsed =
            Updater::parseFeed(read(m_out + "/version.json").toUtf8());
        const auto *release = std::get_if<Updater::Release>(&parsed);
        QVERIFY(release);
        QCOMPARE(release->version, Updater::currentVersion());
        QCOMPARE(release->notes,
                 QStringList({"Faster duplicate scan", "Quotes \"kept\" and a back\\slash"}));
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
        QCOMPARE(DesktopEntryReader::execArguments(read(entry).toUtf8()),
                 QStringList{unpacked + "/bin/quillmar"});
        // Only a folder with the shipped keyring counts as unpacked from the tarball.
        QVERIFY(!DesktopIntegration::unpackedFolder(unpacked + "/bin"));
        QVERIFY(QDir().mkpath(unpacked + "/share/quillmar"));
        QFile(unpacked + "/share/quillmar/release-keyring.gpg").open(QIODevice::WriteOnly);
        QCOMPARE(DesktopIntegration::unpackedFolder(unpacked + "/bin"), std::optional(unpacked));
    }

    void debianPackageDependsOnQtAndInstallsUnderUsr()
    {
        const QStringList debs = QDir(m_out).entryList({"*.deb"});
        QCOMPARE(debs.size(), 1);
        const QString deb = m_out + '/' + debs.first();
        const Ran depends = run("dpkg-deb", {"-f", deb, "Depends"});
        for (const char *lib : {"libqt6widgets6", "libqt6core6", "qt6-qpa-plugins"})
            QVERIFY2(depends.out.contains(lib), qPrintable(depends.out));
        const QString root = m_dir.filePath("deb");
        QCOMPARE(run("dpkg-deb", {"-x", deb, root}).code, 0);
        QVERIFY(QFileInfo(root + "/usr/bin/quillmar").isExecutable());
        QVERIFY(QFileInfo(root + "/usr/bin/quillmar-cli").isExecutable());
        QCOMPARE(execLine(root + "/usr/share/applications/com.ornk.quillmar.desktop"),
                 QStringLiteral("/usr/bin/quillmar"));
        // Only the tarball carries the keyring.
        QVERIFY(!QFile::exists(root + "/usr/share/quillmar/release-keyring.gpg"));
    }
};

QTEST_GUILESS_MAIN(tst_Packaging)
#include "tst_Packaging.moc"
