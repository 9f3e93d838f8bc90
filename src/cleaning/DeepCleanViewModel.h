#pragma once

#include "cleaning/ScanCleanCycle.h"
#include "exec/BackgroundWork.h"
#include "exec/CancelToken.h"
#include "platform/FileIdentity.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <memory>

class AppHost;
struct RemovalBatch;

// One node_modules folder found below the home.
struct NodeModuleTarget {
    QUuid id = QUuid::createUuid();
    QString path; // for showing; `nativePath` is what is moved
    double sizeMB = 0;
    QString lastModified; // "yyyy-MM-dd", or empty
    bool isSelected = false;
    QByteArray nativePath;   // the file system's bytes, as the search printed them
    FileIdentity identity{}; // as listed; a removal refuses another folder at the path
};

// The Deep Clean tab's model: the node_modules folders of the user's projects, and
// moving the ticked ones to the Trash. Lives on the main thread; `targets` is replaced
// whole there.
class DeepCleanViewModel : public QObject {
    Q_OBJECT

public:
    struct Failure {
        QString path;
        QString reason;
    };
    struct CleanReport {
        int ticked = 0;
        int moved = 0;
        QList<Failure> failures;
    };

    explicit DeepCleanViewModel(QObject *parent = nullptr);
    ~DeepCleanViewModel() override;

    QList<NodeModuleTarget> targets() const { return m_targets; }
    void setSelected(const QUuid &id, bool selected);
    // The header checkbox: sets every target; nothing happens without targets.
    void setAllSelected(bool selected);
    // True when there are targets and every one is ticked.
    bool allSelected() const;
    int selectedCount() const;

    // Asynchronous: find and measure the folders.
    void scan(AppHost *appState);
    // Asynchronous: move the targets ticked now to the Trash, then scan again.
    void cleanSelected(AppHost *appState);

    bool isScanning() const { return m_cycle.isScanning(); }
    // The list is what a scan stopped from the banner found before it stopped.
    bool isIncomplete() const { return m_incomplete; }
    bool isCleaning() const { return m_cycle.isCleaning(); }
    // While held (a confirmation is open), a scan that ends keeps the ticks; calls nest.
    void holdSelection(bool hold);

    // The work, synchronous: call off the main thread. The search can be stopped from the
    // banner through `cancel`, and then gives what it found so far.
    static QList<NodeModuleTarget> findTargets(AppHost *appState, const CancelToken &cancel = {});
    static CleanReport trashFolders(const QList<NodeModuleTarget> &folders, AppHost *appState);

    // Stops the search running now (quitting); later scans run as usual.
    void cancelWork();
    // Drops the targets the excluded folders and the keep list now keep out.
    void dropNotOffered();

    // For tests: blocks until every background task started so far has ended.
    void waitForTasks();

signals:
    void changed();
    void targetsChanged();
    void busyChanged();
    void cleanFinished(const DeepCleanViewModel::CleanReport &report);

private:
    void publish(QList<NodeModuleTarget> found, bool keepTicks, bool stopped);
    void dropRemoved(const RemovalBatch &batch);

    QList<NodeModuleTarget> m_targets;
    bool m_incomplete = false;
    struct Stopper; // the cancel token of this model's runs
    std::unique_ptr<Stopper> m_stopper;
    ScanCleanCycle m_cycle;
    BackgroundWork m_work;
};
