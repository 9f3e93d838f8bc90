#pragma once

#include "platform/FileIdentity.h"
#include "platform/Trash.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <memory>

// One item that went to the Trash.
struct RemovedItem {
    QByteArray path;         // where it was, standardised, as the file system's bytes
    QByteArray resolvedPath; // the same place with the links above it resolved
    // As it was listed; as found just before the move when the mover listed none.
    FileIdentity identity;
    qint64 allocatedBytes = -1; // the blocks a file held; -1 for a folder (not measured)
    Trash::Result trashed;      // where it is now
    // Steady clock, in ns: the move happened between them (0 when unknown).
    qint64 movingSince = 0;
    qint64 movedBy = 0;
    static qint64 now();
};

// Everything one action of the user moved to the Trash.
struct RemovalBatch {
    quint64 id = 0;
    QString origin; // the tab or screen that started it; empty when nobody said
    QDateTime when;
    QList<RemovedItem> items;

    // Whether a row showing `path` (listed as `identity`, or null when it has none) showed
    // something that went: an item itself or anything inside a folder that went. A path
    // that holds another file than the one removed is not covered. Costs the depth of the
    // path once the batch is indexed, whatever the number of items.
    bool covers(const QByteArray &path, const FileIdentity &identity = {}) const;
    // Every spelling of every item, for covers().
    void index();

private:
    QHash<QByteArray, qsizetype> m_byPath;
    QSet<size_t> m_hashes; // of the same, to look up the folders above a row without copies
};

// The one place every successful move to the Trash is told to, and the one that tells
// every model: each batch is announced on the main thread with a single queued call.
class RemovalHub : public QObject {
    Q_OBJECT
public:
    static RemovalHub *instance();

    // Gathers the moves of the threads that join it; announced when its last copy goes.
    // Copies share one batch.
    class Batch {
    public:
        explicit Batch(const QString &origin = {});
        quint64 id() const;
        QString origin() const;

        struct Shared;

    private:
        std::shared_ptr<Shared> d;
        friend class RemovalHub;
    };

    // While it lives, the moves made on this thread join `batch`.
    class Joined {
    public:
        explicit Joined(const Batch &batch);
        ~Joined();
        Joined(const Joined &) = delete;
        Joined &operator=(const Joined &) = delete;

    private:
        std::shared_ptr<Batch::Shared> m_previous;
    };

    // A move that succeeded, from any thread; outside any batch it is a batch of its own.
    static void report(const RemovedItem &item);
    // Items put back where they were, from any thread: `batch` holds those of one removal
    // that came back (its id is the removal's own in the session that made it, else 0).
    static void reportRestored(RemovalBatch batch);

signals:
    void removed(const RemovalBatch &batch);
    void restored(const RemovalBatch &batch);

private:
    RemovalHub() = default;
    static void announce(const RemovalBatch &batch);
};
