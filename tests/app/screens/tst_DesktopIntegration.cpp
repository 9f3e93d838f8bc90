#include "app/screens/DesktopIntegration.h"
#include "app/widgets/Dialogs.h"

#include <QMessageBox>
#include <QPointer>

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

    // The first start's question, and the alert when the entry cannot be written, come one
    // at a time: what follows them (the update check, which may open its own window)
    // waits until the last is closed.
    void offerComesBeforeWhatFollows_data()
    {
        QTest::addColumn<QString>("folder"); // empty: not unpacked from the tarball
        QTest::addColumn<bool>("accept");
        QTest::addColumn<int>("boxes"); // windows shown before it may go on
        QTest::newRow("installed copy: nothing asked") << "" << false << 0;
        QTest::newRow("declined") << "Apps/Quillmar" << false << 1;
        QTest::newRow("accepted") << "Apps/Quillmar" << true << 1;
        QTest::newRow("accepted, entry can't be written") << "a\nb/Quillmar" << true << 2;
    }
    void offerComesBeforeWhatFollows()
    {
        QFETCH(QString, folder);
        QFETCH(bool, accept);
        QFETCH(int, boxes);
        const QString copy = m_env->root() + '/' + (folder.isEmpty() ? "usr" : folder);
        QVERIFY(QDir().mkpath(copy + "/share/quillmar"));
        if (!folder.isEmpty())
            QVERIFY(QFile(copy + "/share/quillmar/release-keyring.gpg").open(QIODevice::WriteOnly));
        int followed = 0;
        QWidget window;
        window.show();

        DesktopIntegration::offerOnFirstStart(&window, copy + "/bin", [&] { ++followed; });

        for (int shown = 0; shown < boxes; ++shown) {
            QCOMPARE(followed, 0);
            const QPointer<QMessageBox> box = Dialogs::openBox();
            QVERIFY(box && box->isVisible());
            QAbstractButton *answer = box->buttons().first();
            for (QAbstractButton *button : box->buttons())
                if ((box->buttonRole(button) == QMessageBox::RejectRole) != accept)
                    answer = button;
            answer->click();
            QTRY_VERIFY(!box || !box->isVisible());
        }
        QCOMPARE(followed, 1);
        if (boxes == 2)
            QVERIFY2(Dialogs::lastAlert()->second.contains("line break"),
                     qPrintable(Dialogs::lastAlert()->second));
        QCOMPARE(
            QFile::exists(Locations::current().userDesktopEntries + "/com.ornk.quillmar.desktop"),
            accept && boxes == 1);
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_MAIN(tst_DesktopIntegration)
#include "tst_DesktopIntegration.moc"
