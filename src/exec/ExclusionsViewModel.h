#pragma once

#include "exec/BackgroundWork.h"
#include "platform/Exclusions.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

// The two lists of Settings, "Excluded Folders" and the keep list, and whether removals
// are open: a list that cannot be read closes them everywhere and says why. Lives on the
// main thread; the files are read and written on the pool.
class ExclusionsViewModel : public QObject {
    Q_OBJECT
public:
    explicit ExclusionsViewModel(QObject *parent = nullptr);
    ~ExclusionsViewModel() override;

    QList<QByteArray> excludedFolders() const { return m_excluded; }
    QList<QByteArray> keptPaths() const { return m_kept; }
    // Why no removal is offered; empty while removals are open.
    QString blockedReason() const { return m_blockedReason; }
    // The reason a change could not be saved, as last seen.
    QString writeError() const { return m_writeError; }

    // Asynchronous: reads both lists again (the window also looks now and then, so a list
    // mended by hand opens removals again).
    void reload();
    // Asynchronous: each writes the list whole and reads it back.
    void addExcluded(const QByteArray &folder);
    void removeExcluded(const QByteArray &folder);
    void addKept(const QByteArray &path);
    void removeKept(const QByteArray &path);

    // For tests: blocks until every background task started so far has ended.
    void waitForTasks() { m_work.waitForAll(); }

signals:
    void changed();
    void excludedFoldersChanged();
    void keptPathsChanged();
    void blockedReasonChanged();
    void writeErrorChanged();

private:
    void edit(Exclusions::List list, const QByteArray &path, bool add);
    void publish(const Exclusions &now);
    void setExcludedFolders(const QList<QByteArray> &folders);
    void setKeptPaths(const QList<QByteArray> &paths);
    void setBlockedReason(const QString &reason);
    void setWriteError(const QString &error);

    QList<QByteArray> m_excluded;
    QList<QByteArray> m_kept;
    QString m_blockedReason;
    QString m_writeError;
    BackgroundWork m_work;
};
