#include "exec/ExclusionsViewModel.h"

#include "exec/Async.h"
#include "exec/Background.h"

#include <QtConcurrent>

ExclusionsViewModel::ExclusionsViewModel(QObject *parent) : QObject(parent)
{
    reload();
}

ExclusionsViewModel::~ExclusionsViewModel()
{
    waitForTasks();
}

void ExclusionsViewModel::reload()
{
    const QFuture<Exclusions> read = Background::start(&Exclusions::current);
    m_work.track(QFuture<void>(read));
    whenFinished(this, read, [this](const Exclusions &now) { publish(now); });
}

void ExclusionsViewModel::addExcluded(const QByteArray &folder)
{
    edit(Exclusions::List::ExcludedFolders, folder, true);
}

void ExclusionsViewModel::removeExcluded(const QByteArray &folder)
{
    edit(Exclusions::List::ExcludedFolders, folder, false);
}

void ExclusionsViewModel::addKept(const QByteArray &path)
{
    edit(Exclusions::List::KeepList, path, true);
}

void ExclusionsViewModel::removeKept(const QByteArray &path)
{
    edit(Exclusions::List::KeepList, path, false);
}

void ExclusionsViewModel::edit(Exclusions::List list, const QByteArray &path, bool add)
{
    const QFuture<std::pair<Exclusions, QString>> done = Background::start([list, path, add] {
        const Exclusions before = Exclusions::current();
        // A list that cannot be read is never written over: what it held would be lost.
        if (!before.isReadable())
            return std::pair(before, before.error());
        QList<QByteArray> paths = list == Exclusions::List::ExcludedFolders
                                      ? before.excludedFolders()
                                      : before.keptPaths();
        if (add && !paths.contains(path))
            paths.append(path);
        if (!add)
            paths.removeAll(path);
        const QString why = Exclusions::write(list, paths);
        return std::pair(Exclusions::current(), why);
    });
    m_work.track(QFuture<void>(done));
    whenFinished(this, done, [this](const std::pair<Exclusions, QString> &result) {
        setWriteError(result.second);
        publish(result.first);
    });
}

void ExclusionsViewModel::publish(const Exclusions &now)
{
    setExcludedFolders(now.excludedFolders());
    setKeptPaths(now.keptPaths());
    setBlockedReason(now.error());
}

void ExclusionsViewModel::setExcludedFolders(const QList<QByteArray> &folders)
{
    if (m_excluded == folders)
        return;
    m_excluded = folders;
    emit excludedFoldersChanged();
    emit changed();
}

void ExclusionsViewModel::setKeptPaths(const QList<QByteArray> &paths)
{
    if (m_kept == paths)
        return;
    m_kept = paths;
    emit keptPathsChanged();
    emit changed();
}

void ExclusionsViewModel::setBlockedReason(const QString &reason)
{
    if (m_blockedReason == reason)
        return;
    m_blockedReason = reason;
    emit blockedReasonChanged();
    emit changed();
}

void ExclusionsViewModel::setWriteError(const QString &error)
{
    if (m_writeError == error)
        return;
    m_writeError = error;
    emit writeErrorChanged();
    emit changed();
}
