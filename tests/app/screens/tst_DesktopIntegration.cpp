#include "app/screens/DesktopIntegration.h"
#include "app/widgets/Dialogs.h"

#include <QMessageBox>

#include "support/DesktopEntryReader.h"
#include "support/TestEnvironment.h"

#include <QProcess>
#include <QTest>

class tst_DesktopIntegration : public QObject {
    Q_OBJECT

    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup()
    {
        Dialogs::resetSeams();
        m_env.reset();
    }

    // The entry names this copy's program and icon exactly, whatever the folder is called.
    void menuEntryNamesTheFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("written");
        QTest::newRow("backslash") << "A\\B" << true;
        QTest::newRow("blank") << "My Apps" << true;
        QTest::newRow("double quote") << "say \"hi\"" << true;
        QTest::newRow("single quote") << "it's" << true;
        QTest::newRow("dollar") << "$HOME" << true;
        QTest::newRow("backquote") << "`id`" << true;
        QTest::newRow("percent") << "100%" << true;
        QTest::newRow("line feed") << "a\nExec=/bin/false" << false;
        QTest::newRow("carriage return") << "a\rb" << false;
    }
    void menuEntryNamesTheFolder()
    {
        QFETCH(QString, name);
        QFETCH(bool, written);
        const QString folder = m_env->root() + '/' + name + "/Quillmar";
        const QString menu = m_env->root() + "/menu";
        const QString entry = menu + "/com.ornk.quillmar.desktop";

        const std::optional<QString> failed = DesktopIntegration::addToMenu(folder, menu);

        QCOMPARE(!failed, written);
        QCOMPARE(QFile::exists(entry), written);
        if (!written)
            return;
        const QByteArray text = read(entry);
        QCOMPARE(DesktopEntryReader::execArguments(text), QStringList{folder + "/bin/quillmar"});
        QCOMPARE(DesktopEntryReader::value(text, "Icon"),
                 folder + "/share/icons/hicolor/scalable/apps/com.ornk.quillmar.svg");
        QProcess validate;
        validate.setProcessChannelMode(QProcess::MergedChannels);
        validate.start("desktop-file-validate", {entry});
        QVERIFY(validate.waitForFinished(30000));
        const QByteArray said = validate.readAll();
        QVERIFY2(validate.exitCode() == 0 && !said.contains("error:"), said.constData());
    }

    // Accepting the offer for a folder an entry cannot name says why.
    void offerExplainsAnEntryItCannotWrite()
    {
        const QString folder = m_env->root() + "/a\nb/Quillmar";
        QVERIFY(QDir().mkpath(folder + "/share/quillmar"));
        QVERIFY(QFile(folder + "/share/quillmar/release-keyring.gpg").open(QIODevice::WriteOnly));
        Dialogs::pushConfirmAnswer(true);

        DesktopIntegration::offerOnFirstStart(nullptr, folder + "/bin");

        const auto alert = Dialogs::lastAlert();
        QVERIFY(alert);
        QVERIFY2(alert->second.contains("line break"), qPrintable(alert->second));
        QVERIFY(QDir(Locations::current().userDesktopEntries).isEmpty());
        delete Dialogs::openBox();
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_MAIN(tst_DesktopIntegration)
#include "tst_DesktopIntegration.moc"
