#include "platform/Preferences.h"
#include "support/TestEnvironment.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

class tst_Preferences : public QObject {
    Q_OBJECT
private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void registeredDefaultsAndAbsentKeys()
    {
        QVERIFY(!Preferences::value(PrefKey::autoScanOnLaunch).isValid());
        Preferences::registerDefaults();
        QCOMPARE(Preferences::boolValue(PrefKey::autoScanOnLaunch, false), true);
        QCOMPARE(Preferences::intValue(PrefKey::initialToolTipDelay, 0), 100);
        // Registering must not invent values for other keys: an absent key gives back
        // whichever fallback its reader passes, either way round.
        QVERIFY(!Preferences::value(PrefKey::watchTrashForApps).isValid());
        QCOMPARE(Preferences::boolValue(PrefKey::watchTrashForApps, false), false);
        QCOMPARE(Preferences::boolValue(PrefKey::watchTrashForApps, true), true);
        QCOMPARE(Preferences::stringValue(PrefKey::storageMapRoot, "/fallback"),
                 QStringLiteral("/fallback"));
        // A registered default gives way to a stored value.
        Preferences::setValue(PrefKey::initialToolTipDelay, 250);
        QCOMPARE(Preferences::intValue(PrefKey::initialToolTipDelay, 0), 250);
    }

    void valuesRoundTripThroughTheStore()
    {
        Preferences::setValue(PrefKey::autoScanOnLaunch, false);
        Preferences::setValue(PrefKey::themePreference, 2);
        Preferences::setValue(PrefKey::lastUpdateCheck, 1765000000.5);
        Preferences::setValue(PrefKey::customAppDirs, "[\"/a b\"]");
        QCOMPARE(Preferences::boolValue(PrefKey::autoScanOnLaunch, true), false);
        QCOMPARE(Preferences::intValue(PrefKey::themePreference, 0), 2);
        QCOMPARE(Preferences::doubleValue(PrefKey::lastUpdateCheck, 0), 1765000000.5);
        QCOMPARE(Preferences::stringValue(PrefKey::customAppDirs, "[]"),
                 QStringLiteral("[\"/a b\"]"));
        // The file comes to hold them by itself, without a flush.
        const QString file = m_env->root() + "/prefs.ini";
        QTRY_COMPARE(QSettings(file, QSettings::IniFormat).value(PrefKey::themePreference).toInt(),
                     2);
        // Read afresh from the file, after a removal: types and removal survive.
        Preferences::remove(PrefKey::themePreference);
        Preferences::setValue(PrefKey::autoScanOnLaunch, true);
        Preferences::useStoreFile(file);
        QVERIFY(!Preferences::contains(PrefKey::themePreference));
        QCOMPARE(Preferences::boolValue(PrefKey::autoScanOnLaunch, false), true);
        QCOMPARE(Preferences::doubleValue(PrefKey::lastUpdateCheck, 0), 1765000000.5);
        QCOMPARE(Preferences::stringValue(PrefKey::customAppDirs, "[]"),
                 QStringLiteral("[\"/a b\"]"));
    }

    void wrongTypeReadsAsAbsent_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("bool as word") << "watchTrashForApps" << QVariant("maybe");
        QTest::newRow("int as word") << "themePreference" << QVariant("dark");
        QTest::newRow("double as word") << "lastUpdateCheck" << QVariant("yesterday");
    }
    void wrongTypeReadsAsAbsent()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        Preferences::setValue(key, stored);
        QCOMPARE(Preferences::boolValue(key, true), true);
        QCOMPARE(Preferences::intValue(key, 7), 7);
        QCOMPARE(Preferences::doubleValue(key, 3.5), 3.5);
    }

    void writesAnnounceTheKey()
    {
        QSignalSpy spy(Preferences::notifier(), &Preferences::valueChanged);
        Preferences::setValue(PrefKey::themePreference, 1);
        Preferences::remove(PrefKey::themePreference);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy[0][0].toString(), QStringLiteral("themePreference"));
        QVERIFY(!Preferences::contains(PrefKey::themePreference));
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_GUILESS_MAIN(tst_Preferences)
#include "tst_Preferences.moc"
