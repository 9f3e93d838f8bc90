#pragma once

#include "applications/AppResource.h"
#include "exec/BackgroundWork.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

class AppHost;
class ScanProgress;
struct RemovalBatch;

// The model of the Applications tab: the installed applications with size, last use and
// origin, and their uninstall. Lives on the main thread; `applications` is replaced
// whole there when a scan ends and shrinks when an uninstall succeeds.
class ApplicationsViewModel : public QObject {
    Q_OBJECT
public:
    static constexpr const char scanSystemAppsKey[] = "scanSystemApps";
    static constexpr const char scanUserAppsKey[] = "scanUserApps";
    static constexpr const char customAppDirsKey[] = "customAppDirs";

    explicit ApplicationsViewModel(QObject *parent = nullptr);
    // Waits for this model's background work, which still refers to it.
    ~ApplicationsViewModel() override;

    QList<AppResource> applications() const { return m_applications; }
    bool isScanning() const { return m_scans > 0; }
    // Whether an uninstall of the application at `path` is under way.
    bool isUninstalling(const QString &path) const { return m_uninstalling.contains(path); }
    bool isUninstalling() const { return !m_uninstalling.isEmpty(); }

    // The folders listed, in order: the system folder, the user's, then the custom ones.
    static QStringList scannedFolders();
    // The stored custom folders; anything but a JSON array of texts gives none.
    static QStringList customFolders();

    // Asynchronous: rebuilds `applications`.
    void scan(AppHost *appState);
    // Asynchronous: moves the application to the Trash (a Flatpak app is uninstalled with
    // flatpak), then offers its leftovers and drops its row. A failure is announced
    // through uninstallFailed and keeps the row.
    void trashApp(const QString &path, AppHost *appState);
    // Asynchronous: what removing a package or snap takes (apt-get -s), answered with
    // removalPlanned; the removal itself runs in the terminal after a confirmation.
    void planRemoval(const QString &path, AppHost *appState);

    // The scan's work, synchronous: call off the main thread. `progress` hears how many
    // were measured so far.
    static QList<AppResource> findApplications(ScanProgress *progress = nullptr);
    static AppResource measure(AppResource app);

    // For tests: blocks until every background task started so far has ended.
    void waitForTasks();

signals:
    void changed();
    void applicationsChanged();
    void busyChanged();
    void uninstallFailed(const QString &name, const QString &reason);
    // `command` is empty when the package cannot be removed; `error` then says why.
    void removalPlanned(const QString &path, const QString &command, const QStringList &alsoRemoved,
                        const QString &error);

private:
    void setApplications(const QList<AppResource> &applications);
    void dropRemoved(const RemovalBatch &batch);

    QList<AppResource> m_applications;
    QSet<QString> m_uninstalling;
    int m_scans = 0;
    BackgroundWork m_work;
};
