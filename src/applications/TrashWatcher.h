#pragma once

#include "applications/AppLeftovers.h"
#include "exec/BackgroundWork.h"
#include "exec/CancelToken.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QFileSystemWatcher;
class QSocketNotifier;
class QTimer;

// Notices applications arriving in the user's Trash: ".app" bundles on macOS, AppImages
// on Linux. Each arrival is reported once, with where it now is, where it came from and
// which application it is. Lives on the main thread, which only collects the names that
// arrived: their info files, bundles and desktop entries are read on the pool, and each
// batch of arrivals comes back in one queued call. Nothing on the main thread grows with
// the number of items in the Trash.
class TrashWatcher : public QObject {
    Q_OBJECT
public:
    struct Arrival {
        QString pathInTrash;
        QString originalPath; // from its .trashinfo, else pathInTrash
        AppIdentity identity;
    };
    using Callback = std::function<void(const Arrival &)>;

    // How arrivals are told: by the names in the kernel's events (inotify), or, where
    // there are none, by listing the folder on the pool and comparing with the last look.
    enum class Source { EventNames, Listing };

    explicit TrashWatcher(Callback onAppTrashed, QObject *parent = nullptr);
    // Stops, then waits for the work under way.
    ~TrashWatcher() override;

    // Before start(): event names where the system gives them, else listings.
    void setSource(Source source);
    Source source() const { return m_source; }

    // Creates the Trash folders when missing and watches them; what is there already is
    // never reported. No effect when already watching.
    void start();
    void stop();
    bool isWatching() const { return m_watching; }
    QString trash() const { return m_trash; }

    // The applications among the named entries of a Trash folder, in name order, each
    // with its original path and identity. Entries are read without following a link;
    // links are never applications. Blocks: call it off the main thread.
    static QList<Arrival> resolve(const QString &trash, const QString &infoFolder,
                                  const QList<QByteArray> &names, const CancelToken &cancel = {});
    // For tests: blocks until the work started so far has ended.
    void waitForTasks() { m_work.waitForAll(); }

private:
    bool watchFolder();
    void readEvents();
    void listingChanged();
    void watchLost();
    void closeWatch();
    void rearm();
    // Hands what has gathered to the pool unless a batch is under way.
    void runNext();

    Callback m_onAppTrashed;
    QString m_trash;
    QString m_info;
    Source m_source;
    bool m_watching = false;

    // Event names: the inotify descriptor and its notifier.
    int m_inotify = -1;
    QSocketNotifier *m_notifier = nullptr;
    qint64 m_lastRead = 0; // when the event queue was last read whole, for an overflow
    // Listings: the folder's watcher and the names of the last look, touched by the
    // pool only (one batch at a time).
    QFileSystemWatcher *m_listingWatcher = nullptr;
    std::shared_ptr<std::optional<QSet<QByteArray>>> m_lastLook;

    QTimer *m_rearmTimer = nullptr;
    // What the next batch looks at.
    QList<QByteArray> m_arrived;
    std::optional<qint64> m_rescanSince; // entries changed since then, names unknown
    bool m_relist = false;
    bool m_batchRunning = false;
    quint64 m_generation = 0; // a batch from before stop() publishes nothing
    CancelToken m_cancel;
    BackgroundWork m_work;
};
