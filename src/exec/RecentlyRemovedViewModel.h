#pragma once

#include "exec/BackgroundWork.h"
#include "exec/RemovalJournal.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

struct RemovalBatch;

// Every removal the program made and the way back: each removal the hub announces is
// written to the journal and offered for ten seconds as the notice with Undo; the sheet
// lists the journal, newest first. Putting back goes through the Trash layer, and what
// came back is announced through the hub so every tab shows it again. Lives on the main
// thread; the journal is read, written and measured on the pool.
class RecentlyRemovedViewModel : public QObject {
    Q_OBJECT
public:
    static constexpr int noticeSeconds = 10;

    explicit RecentlyRemovedViewModel(QObject *parent = nullptr);
    ~RecentlyRemovedViewModel() override;

    // The removal the notice offers to undo; absent once its time is up.
    std::optional<JournalEntry> notice() const { return m_notice; }
    // "Moved 3 items (1.2 GB) to the Trash".
    static QString noticeText(const JournalEntry &entry);

    // The journal as last read, newest first.
    QList<JournalEntry> entries() const { return m_entries; }
    bool isLoading() const { return m_loading; }
    // Lines of the journal skipped as damaged in the last read.
    int damagedLines() const { return m_damagedLines; }
    // Why the journal could not be read or written, as last seen; empty when all is well.
    QString journalError() const { return m_journalError; }
    bool isPuttingBack() const { return m_puttingBack > 0; }

    // Asynchronous: reads the journal again.
    void load();
    // Asynchronous: puts back the items of removal `key` whose paths are given (all of
    // them when none are), those still in the Trash.
    void putBack(const QString &key, const QList<QByteArray> &paths = {});
    void undoNotice();
    // While held (the keyboard is on the notice) the notice stays; let go, it has its full
    // time again.
    void holdNotice(bool held);

    struct Failure {
        QByteArray path;
        QString reason;
    };

    // For tests: blocks until every background task started so far has ended.
    void waitForTasks() { m_work.waitForAll(); }

signals:
    void changed();
    void noticeChanged();
    void entriesChanged();
    void loadingChanged();
    void damagedLinesChanged();
    void journalErrorChanged();
    void puttingBackChanged();
    // A put back ended; `failures` name what stayed in the Trash and why.
    void putBackFinished(int restored, const QList<RecentlyRemovedViewModel::Failure> &failures);

private:
    void record(const RemovalBatch &batch);
    void setNotice(const std::optional<JournalEntry> &notice);
    void setEntries(const QList<JournalEntry> &entries);
    void setLoading(bool loading);
    void setDamagedLines(int lines);
    void setJournalError(const QString &error);
    void setPuttingBack(int running);
    void markPutBack(const QString &key, const QList<QByteArray> &paths);

    std::optional<JournalEntry> m_notice;
    QTimer m_noticeTimer;
    bool m_noticeHeld = false;
    QList<JournalEntry> m_entries;
    bool m_loaded = false;
    bool m_loading = false;
    int m_damagedLines = 0;
    QString m_journalError;
    int m_puttingBack = 0;
    BackgroundWork m_work;
};
