#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

// The per-user key-value store, safe from any thread; a value of the wrong type reads as
// absent. It is read from the file once; a write is seen by every read at once and
// reaches the file a moment later, off the calling thread (flush() waits for it).
namespace PrefKey {
inline constexpr const char selectedTab[] = "selectedTab";
inline constexpr const char autoScanOnLaunch[] = "autoScanOnLaunch";
inline constexpr const char initialToolTipDelay[] = "NSInitialToolTipDelay";
inline constexpr const char themePreference[] = "themePreference";
inline constexpr const char watchTrashForApps[] = "watchTrashForApps";
inline constexpr const char checkForUpdatesAutomatically[] = "checkForUpdatesAutomatically";
inline constexpr const char lastUpdateCheck[] = "lastUpdateCheck";
inline constexpr const char settingsTab[] = "settingsTab";
inline constexpr const char storageMapRoot[] = "storageMapRoot";
inline constexpr const char customBrewPath[] = "customBrewPath";
inline constexpr const char scanSystemApps[] = "scanSystemApps";
inline constexpr const char scanUserApps[] = "scanUserApps";
inline constexpr const char customAppDirs[] = "customAppDirs";
inline constexpr const char homebrewSort[] = "homebrewSort";
inline constexpr const char homebrewSection[] = "homebrewSection";
} // namespace PrefKey

class Preferences : public QObject {
    Q_OBJECT
public:
    // The launch-time defaults: "autoScanOnLaunch" true, "NSInitialToolTipDelay" 100.
    static void registerDefaults();
    static void registerDefault(const QString &key, const QVariant &value);

    static bool contains(const QString &key);
    // Stored value, else the registered default, else an invalid QVariant.
    static QVariant value(const QString &key);

    // Typed reads: the stored (or registered) value when it has the right type, else
    // `fallback`. Booleans stored as text "true"/"false" (an INI file) count as booleans.
    static bool boolValue(const QString &key, bool fallback);
    static int intValue(const QString &key, int fallback);
    static double doubleValue(const QString &key, double fallback);
    static QString stringValue(const QString &key, const QString &fallback);

    static void setValue(const QString &key, const QVariant &value);
    static void remove(const QString &key);
    // Writes what is not in the file yet, now (quitting).
    static void flush();

    // For tests: keep everything in this INI file instead of the user's store, and
    // forget registered defaults. An empty path returns to the user's store.
    static void useStoreFile(const QString &iniPath);

    // Emits valueChanged(key) on the thread that wrote.
    static Preferences *notifier();

signals:
    void valueChanged(const QString &key);

private:
    Preferences() = default;
};
