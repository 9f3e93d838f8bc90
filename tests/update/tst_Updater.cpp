#include "platform/PlatformTexts.h"
#include "platform/Preferences.h"
#include "platform/Trash.h"
#include "support/FakeDpkg.h"
#include "support/LocalHttpServer.h"
#include "support/ReleaseFixture.h"
#include "support/TestEnvironment.h"
#include "update/Updater.h"

#include <QTcpServer>
#include <QtConcurrent>
#include <QtTest>

#include <unistd.h>

using Updater::Release;

namespace {
const QString kNotOnWebsite = "The download isn't on the website yet.";
const QString kBadSignature = "The download isn't signed like this copy, so it wasn't installed.";
const QString kNoSignature =
    "This copy has no signature to compare with; download the update from the website.";
const QString kUnreadable = "The update feed couldn't be read.";
} // namespace

class tst_Updater : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void isNewer_data();
    void isNewer();
    void feed_data();
    void feed();
    void backgroundCheck_data();
    void backgroundCheck();
    void refusedInstall_data();
    void refusedInstall();
    void install_data();
    void install();
    void failedSecondMovePutsOldCopyBack();
    void packagedCopyNeverReplacesItself_data();
    void packagedCopyNeverReplacesItself();
    void stopAllEndsACheckThatHangs();
    void unreachableServerIsSaidPlainly();

private:
    QString copy() const { return m_env->root() + "/apps/Quillmar"; }
    QString staging() const { return m_env->root() + "/apps/.Quillmar-update"; }
    QString archivePath() const
    {
        return "/downloads/Quillmar-7-" + ReleaseFixture::arch() + ".tar.gz";
    }
    // Serves a signed release whose program says `program`.
    void serveRelease(const QByteArray &program);
    QStringList trashed() const
    {
        return QDir(m_env->home() + "/.local/share/Trash/files")
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    }

    ReleaseFixture m_release;
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<LocalHttpServer> m_server;
    QList<QPair<QString, QStringList>> m_launched;
};

void tst_Updater::initTestCase()
{
    QVERIFY2(m_release.isReady(), "gpg could not make the throw-away keys");
}

void tst_Updater::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_server = std::make_unique<LocalHttpServer>();
    Updater::setBase(m_server->base());
    Updater::setCurrentVersion("5");
    Updater::setRunningCopy(copy());
    m_launched.clear();
    Updater::setLauncher(
        [this](const QString &shell, const QStringList &arguments) {
            m_launched.append({shell, arguments});
            return true;
        },
        [] {});
    m_release.makeCopy(copy(), "old");
}

void tst_Updater::cleanup()
{
    Updater::resetSeams();
    Updater::resetStopAll();
    m_server.reset();
    m_env.reset();
}

void tst_Updater::serveRelease(const QByteArray &program)
{
    const QString from = m_env->root() + "/release";
    m_release.makeCopy(from + "/Quillmar", program);
    const QByteArray archive = m_release.tarball(from, {"Quillmar"});
    m_server->set(archivePath(), archive);
    m_server->set(archivePath() + ".sig", m_release.sign(archive));
}

void tst_Updater::isNewer_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("newer");
    QTest::newRow("1.10 > 1.9") << "1.10"
                                << "1.9" << true;
    QTest::newRow("1.9 < 1.10") << "1.9"
                                << "1.10" << false;
    QTest::newRow("1.2 = 1.2.0") << "1.2"
                                 << "1.2.0" << false;
    QTest::newRow("1.2.0 = 1.2") << "1.2.0"
                                 << "1.2" << false;
    QTest::newRow("1.2.1 > 1.2") << "1.2.1"
                                 << "1.2" << true;
    QTest::newRow("2.x = 2.0") << "2.x"
                               << "2.0" << false;
    QTest::newRow("2.1 > 2.x") << "2.1"
                               << "2.x" << true;
    QTest::newRow("empty pieces") << "1..3"
                                  << "1.0.2" << true;
    QTest::newRow("build 12 > 9") << "12"
                                  << "9" << true;
}

void tst_Updater::isNewer()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, newer);
    QCOMPARE(Updater::isNewer(a, b), newer);
}

void tst_Updater::feed_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("version"); // empty: the feed is unreadable
    QTest::addColumn<QStringList>("notes");
    QTest::newRow("only version") << QByteArray(R"({"version":"7"})") << "7" << QStringList();
    QTest::newRow("notes kept, other keys ignored")
        << QByteArray(R"({"version":"1.4.0-rc+2","notes":["a","b"],"x":1})") << "1.4.0-rc+2"
        << QStringList{"a", "b"};
    QTest::newRow("notes of another type")
        << QByteArray(R"({"version":"7","notes":"a"})") << "7" << QStringList();
    QTest::newRow("only notes") << QByteArray(R"({"notes":["a"]})") << "" << QStringList();
    QTest::newRow("number version") << QByteArray(R"({"version":7})") << "" << QStringList();
    QTest::newRow("not an object") << QByteArray(R"(["7"])") << "" << QStringList();
    QTest::newRow("climbs out") << QByteArray(R"({"version":"7/../../x"})") << "" << QStringList();
    QTest::newRow("two dots") << QByteArray(R"({"version":"7..1"})") << "" << QStringList();
    QTest::newRow("blank") << QByteArray(R"({"version":"7 1"})") << "" << QStringList();
}

void tst_Updater::feed()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, version);
    QFETCH(QStringList, notes);
    m_server->set("/version.json", body);
    const Updater::LatestResult result = Updater::fetchLatest();
    if (version.isEmpty()) {
        QVERIFY(std::holds_alternative<Updater::Failure>(result));
        QCOMPARE(std::get<Updater::Failure>(result).message, kUnreadable);
    } else {
        QVERIFY(std::holds_alternative<Release>(result));
        QCOMPARE(std::get<Release>(result), (Release{version, notes}));
    }
    // Asked again within the minute: a feed that was read is not read again, a failure is.
    Updater::fetchLatest();
    QCOMPARE(m_server->requests().size(), version.isEmpty() ? 2 : 1);
}

void tst_Updater::backgroundCheck_data()
{
    QTest::addColumn<QVariant>("enabled"); // invalid: absent
    QTest::addColumn<double>("sinceLast"); // seconds from the last check to now
    QTest::addColumn<QByteArray>("feed");
    QTest::addColumn<bool>("asks");
    QTest::addColumn<bool>("offers");
    const QByteArray newer = R"({"version":"6"})", same = R"({"version":"5.0"})";
    QTest::newRow("absent preference runs") << QVariant() << 1e9 << newer << true << true;
    QTest::newRow("switched off") << QVariant(false) << 1e9 << newer << false << false;
    QTest::newRow("day minus a second") << QVariant(true) << 86399.0 << newer << false << false;
    QTest::newRow("exactly a day") << QVariant(true) << 86400.0 << newer << false << false;
    QTest::newRow("day plus a second") << QVariant(true) << 86401.0 << newer << true << true;
    QTest::newRow("last check in the future") << QVariant(true) << -3600.0 << newer << true << true;
    QTest::newRow("not newer") << QVariant(true) << 1e9 << same << true << false;
    QTest::newRow("unreadable feed") << QVariant(true) << 1e9 << QByteArray("{}") << true << false;
}

void tst_Updater::backgroundCheck()
{
    QFETCH(QVariant, enabled);
    QFETCH(double, sinceLast);
    QFETCH(QByteArray, feed);
    QFETCH(bool, asks);
    QFETCH(bool, offers);
    const double now = 2'000'000'000.0;
    if (enabled.isValid())
        Preferences::setValue(Updater::autoCheckKey, enabled);
    Preferences::setValue(Updater::lastCheckKey, now - sinceLast);
    m_server->set("/version.json", feed);

    const std::optional<Release> offered = Updater::runBackgroundCheck(now);

    QCOMPARE(m_server->requests().size(), asks ? 1 : 0);
    QCOMPARE(offered.has_value(), offers);
    // Only a feed that was read moves the clock.
    const bool read = asks && feed != "{}";
    QCOMPARE(Preferences::doubleValue(Updater::lastCheckKey, 0), read ? now : now - sinceLast);
}

void tst_Updater::refusedInstall_data()
{
    QTest::addColumn<QString>("serve"); // which release the server holds
    QTest::addColumn<QString>("message");
    const QString interrupted = "The download was interrupted. Try again.";
    const QString notOurs = "<copy> holds more than Quillmar, so the update can't replace it; "
                            "download the update from the website.";
    QTest::newRow("archive missing") << "none" << kNotOnWebsite;
    QTest::newRow("tampered byte") << "tampered" << kBadSignature;
    QTest::newRow("signed by another key") << "stranger" << kBadSignature;
    QTest::newRow("no keyring in the running copy") << "nokeyring" << kNoSignature;
    QTest::newRow("no Quillmar folder")
        << "otherfolder" << PlatformTexts::text("The disk image has no Quillmar.app.");
    QTest::newRow("member climbing out")
        << "dotdot" << PlatformTexts::text("The disk image couldn't be opened.");
    QTest::newRow("absolute member")
        << "absolute" << PlatformTexts::text("The disk image couldn't be opened.");
    QTest::newRow("archive cut short") << "cut archive" << interrupted;
    QTest::newRow("signature cut short") << "cut signature" << interrupted;
    QTest::newRow("older release served as newer")
        << "older"
        << "The download isn't the version the website announced, so it wasn't installed.";
    QTest::newRow("same build as the running one")
        << "same"
        << "The download isn't newer than this copy, so it wasn't installed.";
    QTest::newRow("new tree without keyring")
        << "no new keyring"
        << "The download has no release keyring, so it wasn't installed.";
    QTest::newRow("new tree without its version")
        << "no new info"
        << "The download isn't a whole Quillmar release, so it wasn't installed.";
    QTest::newRow("running copy in a shared prefix") << "shared" << notOurs;
    QTest::newRow("running copy without its file list")
        << "no list"
        << "This copy has no list of its files to compare with; download the update from the "
           "website.";
    QTest::newRow("file added to the running copy during the download") << "stray" << notOurs;
}

void tst_Updater::refusedInstall()
{
    QFETCH(QString, serve);
    QFETCH(QString, message);
    const QString from = m_env->root() + "/release";
    m_release.makeCopy(from + "/Quillmar", "new", serve == "older" ? "4" : "7",
                       serve != "no new keyring");
    if (serve == "no new info")
        QVERIFY(QFile::remove(from + "/Quillmar/share/quillmar/release-info"));
    QByteArray archive;
    if (serve == "otherfolder") {
        m_release.makeCopy(from + "/Other", "new");
        archive = m_release.tarball(from, {"Other"});
    } else if (serve == "dotdot") {
        QDir().mkpath(from + "/inner");
        archive = m_release.tarball(from + "/inner", {"../Quillmar"});
    } else if (serve == "absolute") {
        archive = m_release.tarball(from, {from + "/Quillmar"});
    } else {
        archive = m_release.tarball(from, {"Quillmar"});
    }
    QVERIFY(!archive.isEmpty());
    QByteArray signature = m_release.sign(archive, serve == "stranger");
    if (serve == "tampered")
        archive[archive.size() / 2] = char(archive[archive.size() / 2] ^ 0x20);
    if (serve == "nokeyring")
        QVERIFY(QFile::remove(copy() + "/share/quillmar/release-keyring.gpg"));
    if (serve == "no list")
        QVERIFY(QFile::remove(copy() + "/share/quillmar/manifest"));
    if (serve == "same")
        Updater::setCurrentVersion("7");
    // Another program's files beside this copy's, as in ~/.local.
    const QString other = copy() + "/share/flatpak/app/org.example.Other/keep";
    if (serve == "shared") {
        QVERIFY(QDir().mkpath(QFileInfo(other).path()));
        ReleaseFixture::write(other, "theirs");
    }
    if (serve != "none")
        m_server->set(archivePath(), archive);
    m_server->set(archivePath() + ".sig", signature);
    if (serve == "cut archive")
        m_server->cutShort(archivePath(), archive.size() / 2);
    if (serve == "cut signature")
        m_server->cutShort(archivePath() + ".sig", 10);

    QStringList progress;
    const auto failure = Updater::runInstall(Release{"7", {}}, [&](const QString &text) {
        if (serve == "stray" && progress.isEmpty())
            ReleaseFixture::write(copy() + "/notes.txt", "mine");
        progress.append(text);
    });

    QVERIFY(failure);
    QCOMPARE(failure->message, QString(message).replace("<copy>", copy()));
    QCOMPARE(ReleaseFixture::read(copy() + "/bin/quillmar"), QByteArray("old"));
    QVERIFY2(!QFileInfo::exists(staging()), "a failed attempt left its staging behind");
    QVERIFY(!QFileInfo::exists(m_env->root() + "/Quillmar")); // nothing unpacked above
    QVERIFY(m_launched.isEmpty());
    if (serve == "nokeyring" || serve == "shared" || serve == "no list")
        QVERIFY(m_server->requests().isEmpty()); // nothing downloaded that cannot be installed
    if (serve == "shared")
        QCOMPARE(ReleaseFixture::read(other), QByteArray("theirs"));
    if (serve.startsWith("cut")) // the partial file never reaches the signature check
        QVERIFY(!progress.contains("Checking the signature…"));
}

void tst_Updater::install_data()
{
    QTest::addColumn<bool>("exchange");
    QTest::addColumn<bool>("planted");
    QTest::newRow("one-step swap") << true << false;
    QTest::newRow("two moves") << false << false;
    QTest::newRow("link planted at the staging path") << true << true;
}

void tst_Updater::install()
{
    QFETCH(bool, exchange);
    QFETCH(bool, planted);
    serveRelease("new");
    Updater::setExchangeAvailable(exchange);
    const QString target = m_env->root() + "/target";
    if (planted) {
        QDir().mkpath(target);
        ReleaseFixture::write(target + "/keep", "mine");
        QVERIFY(QFile::link(target, staging()));
    }

    QStringList progress;
    std::optional<Updater::Failure> second;
    const auto failure = Updater::runInstall(Release{"7", {}}, [&](const QString &text) {
        if (progress.isEmpty())
            second = Updater::runInstall(Release{"7", {}}, [](const QString &) {});
        progress.append(text);
    });

    QVERIFY2(!failure, qPrintable(failure ? failure->message : QString()));
    QVERIFY(second);
    QCOMPARE(second->message, QString("An update is already being installed."));
    QCOMPARE(progress, (QStringList{"Downloading 7…", "Checking the signature…",
                                    PlatformTexts::text("Opening the disk image…"), "Installing…",
                                    "Relaunching…"}));
    QCOMPARE(ReleaseFixture::read(copy() + "/bin/quillmar"), QByteArray("new"));
    QVERIFY(!QFileInfo::exists(staging()) && !QFileInfo(staging()).isSymLink());
    const QString trash = m_env->home() + "/.local/share/Trash/files/";
    QCOMPARE(ReleaseFixture::read(trash + "Quillmar/bin/quillmar"), QByteArray("old"));
    // Restoring it from the Trash names the folder's own place, not where it was staged.
    const QByteArray record = ReleaseFixture::read(trash + "../info/Quillmar.trashinfo");
    QVERIFY2(record.contains("\nPath=" + Trash::encodeInfoPath(QFile::encodeName(copy())) + '\n'),
             record.constData());
    QCOMPARE(m_launched.size(), 1);
    QCOMPARE(m_launched[0].first, Locations::current().shell);
    QCOMPARE(m_launched[0].second,
             (QStringList{"-c", Locations::current().relaunchScript, copy() + "/bin/quillmar"}));
    if (planted) {
        QCOMPARE(QDir(target).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"keep"});
        QCOMPARE(ReleaseFixture::read(target + "/keep"), QByteArray("mine"));
        QVERIFY(QFileInfo(trash + ".Quillmar-update").isSymLink());
    }
    // Free again once done: the next attempt gets as far as the download.
    m_server->drop(archivePath());
    const auto next = Updater::runInstall(Release{"7", {}}, [](const QString &) {});
    QVERIFY(next);
    QCOMPARE(next->message, kNotOnWebsite);
}

void tst_Updater::failedSecondMovePutsOldCopyBack()
{
    serveRelease("new");
    Updater::setExchangeAvailable(false);
    // The staged copy vanishes between the moves, so moving it in fails.
    Updater::setBetweenMovesHook(
        [this] { QVERIFY(QDir().rename(staging() + "/Quillmar", m_env->root() + "/gone")); });

    const auto failure = Updater::runInstall(Release{"7", {}}, [](const QString &) {});

    QVERIFY(failure);
    QCOMPARE(ReleaseFixture::read(copy() + "/bin/quillmar"), QByteArray("old"));
    QVERIFY(trashed().isEmpty());
    QVERIFY(QDir(m_env->home() + "/.local/share/Trash/info").isEmpty());
    QVERIFY(!QFileInfo::exists(staging()));
    QVERIFY(m_launched.isEmpty());
}

void tst_Updater::packagedCopyNeverReplacesItself_data()
{
    QTest::addColumn<QString>("folder"); // the running copy, below the test's root
    QTest::addColumn<QString>("tool");   // "owned", "not owned" or "missing"
    QTest::newRow("owned") << "apps/Quillmar"
                           << "owned";
    QTest::newRow("owned, a pattern's characters in the path") << "a*b?[c]\\d/Quillmar"
                                                               << "owned";
    QTest::newRow("not owned") << "apps/Quillmar"
                               << "not owned";
    QTest::newRow("no package manager") << "apps/Quillmar"
                                        << "missing";
}

void tst_Updater::packagedCopyNeverReplacesItself()
{
    QFETCH(QString, folder);
    QFETCH(QString, tool);
    const bool owned = tool == "owned";
    const QString dpkg = makeFakeDpkg(m_env->root() + "/tools", owned ? "quillmar" : "");
    m_env->editLocations([&](Locations &loc) {
        loc.dpkg = tool == "missing" ? m_env->root() + "/no-such-tool" : dpkg;
    });
    const QString running = m_env->root() + '/' + folder;
    m_release.makeCopy(running, "old");
    Updater::setRunningCopy(running);
    m_server->set("/version.json", R"({"version":"7"})");
    serveRelease("new");

    QCOMPARE(Updater::owningPackage(), owned ? std::optional<QString>("quillmar") : std::nullopt);
    if (tool != "missing") {
        // The path as it is, not as a pattern.
        QString path = running + "/bin/quillmar";
        for (const char *c : {"\\", "*", "?", "[", "]"})
            path.replace(c, QString("\\") + c);
        QCOMPARE(QString(ReleaseFixture::read(dpkg + ".args")).split('\n', Qt::SkipEmptyParts),
                 (QStringList{"-S", "--", path}));
    }
    // No daily offer, not even a look at the feed.
    QCOMPARE(Updater::runBackgroundCheck(2'000'000'000.0).has_value(), !owned);
    QCOMPARE(m_server->requests().size(), owned ? 0 : 1);
    if (!owned)
        return;
    // Nor an install when asked all the same.
    const auto failure = Updater::runInstall(Release{"7", {}}, [](const QString &) {});
    QVERIFY(failure);
    QCOMPARE(failure->message,
             QString("This copy belongs to the package quillmar, so the package manager updates "
                     "it."));
    QCOMPARE(ReleaseFixture::read(running + "/bin/quillmar"), QByteArray("old"));
    QVERIFY(m_server->requests().isEmpty());
}

// A site that takes the connection and never answers: quitting must not wait for it.
void tst_Updater::stopAllEndsACheckThatHangs()
{
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    Updater::setBase(QStringLiteral("http://127.0.0.1:%1").arg(silent.serverPort()));
    QFuture<Updater::LatestResult> check = QtConcurrent::run(&Updater::fetchLatest);
    QTest::qWait(300);
    QVERIFY(!check.isFinished());

    QElapsedTimer sinceStop;
    sinceStop.start();
    Updater::stopAll();
    QTRY_VERIFY_WITH_TIMEOUT(check.isFinished(), 5000);
    QVERIFY2(sinceStop.elapsed() < 1000, qPrintable(QString::number(sinceStop.elapsed())));
    QVERIFY(std::holds_alternative<Updater::Failure>(check.result()));
    // Anything asked after quitting began ends at once.
    QVERIFY(std::holds_alternative<Updater::Failure>(Updater::fetchLatest()));
}

// The network's own words go to the log; the window says what a person can do.
void tst_Updater::unreachableServerIsSaidPlainly()
{
    Updater::setBase(QStringLiteral("http://127.0.0.1:9")); // nothing listens there
    const Updater::LatestResult result = Updater::fetchLatest();
    QVERIFY(std::holds_alternative<Updater::Failure>(result));
    QCOMPARE(std::get<Updater::Failure>(result).message,
             QStringLiteral("Couldn't reach the update server. Check your connection and try "
                            "again."));
    bool logged = false;
    for (const auto &[level, text] : m_env->log())
        logged = logged || (text.startsWith("No answer from http://127.0.0.1:9/") &&
                            text.contains("refused"));
    QVERIFY(logged);
}

QTEST_GUILESS_MAIN(tst_Updater)
#include "tst_Updater.moc"
