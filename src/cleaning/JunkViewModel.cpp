#include "cleaning/JunkViewModel.h"

#include "exec/AppHost.h"
#include "exec/Async.h"
#include "exec/Background.h"
#include "exec/ProcessRunner.h"
#include "exec/SafetyHelper.h"
#include "exec/ScanProgress.h"
#include "finders/FileScan.h"
#include "platform/BytePath.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"
#include "platform/PlatformTexts.h"
#include "platform/RemovalHub.h"
#include "platform/Trash.h"
#include "storage/StorageScanner.h"
#include "storage/UsageWalk.h"

#include <QtConcurrent>

namespace {

QString lastComponent(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// Which category a tick belongs to across scans (identifiers are new every time).
QString tickKey(const JunkCategory &c)
{
    return c.name + QLatin1Char('\n') + c.path;
}

class Totals : public UsageWalk::Visitor {
    void enter(const UsageWalk::Item &, int) override {}
    void item(const UsageWalk::Item &, int) override {}
    void leave(const UsageWalk::Item &, const UsageWalk::Totals &, int) override {}
};

// The allocated bytes of one item as du -sB1 counts them, the folders excluded in
// Settings left out; 0 when it is not there.
qint64 allocatedBytes(const QString &path)
{
    UsageWalk walk;
    Totals totals;
    const auto measured = walk.run(StorageScanner::standardized(nativePath(path)), totals);
    return measured ? measured->allocatedBytes : 0;
}

// The children of the category's folder a clean leaves: those that are or hold a folder
// of another category.
QList<QByteArray> keptChildren(const JunkCategory &c)
{
    const QByteArray folder = nativePath(c.path);
    QList<QByteArray> kept;
    for (const QString &excluded : c.excluded) {
        const QByteArray inner = nativePath(excluded);
        if (!BytePath::isStrictlyInside(inner, folder))
            continue;
        const QByteArray rest = inner.mid(folder == "/" ? 1 : folder.size() + 1);
        const qsizetype slash = rest.indexOf('/');
        kept.append(slash < 0 ? rest : rest.left(slash));
    }
    return kept;
}

bool touches(const RemovalBatch &batch, const QByteArray &folder)
{
    for (const RemovedItem &item : batch.items) {
        for (const QByteArray &path : {item.path, item.resolvedPath}) {
            if (!path.isEmpty() &&
                (BytePath::isSameOrInside(path, folder) || BytePath::isSameOrInside(folder, path)))
                return true;
        }
    }
    return false;
}

} // namespace

JunkViewModel::JunkViewModel(QObject *parent)
    : QObject(parent), m_cycle(this, [this] { emit busyChanged(); })
{
    connect(RemovalHub::instance(), &RemovalHub::removed, this, &JunkViewModel::dropRemoved);
}

JunkViewModel::~JunkViewModel()
{
    waitForTasks();
}

void JunkViewModel::waitForTasks()
{
    m_cycle.waitForAll();
    m_systemWork.waitForAll();
    m_work.waitForAll();
}

void JunkViewModel::setSelected(const QUuid &id, bool selected)
{
    if (ScanCleanCycle::setSelected(m_categories, id, selected)) {
        emit categoriesChanged();
        emit changed();
    }
}

int JunkViewModel::selectedCount() const
{
    return ScanCleanCycle::selectedCount(m_categories);
}

void JunkViewModel::holdSelection(bool hold)
{
    m_cycle.holdSelection(hold);
}

QList<JunkCategory> JunkViewModel::freshCategories()
{
    return JunkCategories::all();
}

double JunkViewModel::measuredMB(const JunkCategory &category)
{
    qint64 bytes = allocatedBytes(category.path);
    for (const QString &excluded : category.excluded)
        bytes -= allocatedBytes(excluded);
    return double(qMax<qint64>(0, bytes)) / 1024 / 1024;
}

QList<JunkCategory> JunkViewModel::measureCategories(AppHost *appState, const CancelToken &cancel)
{
    ScanProgress progress(appState, QStringLiteral("Scanning system caches..."), cancel);
    QList<JunkCategory> categories = freshCategories();
    for (qsizetype i = 0; i < categories.size(); ++i) {
        // Stopped: only what was measured is shown.
        if (cancel.isCancelled()) {
            categories.resize(i);
            break;
        }
        progress.setShare(i, categories.size());
        JunkCategory &c = categories[i];
        if (const auto folder = FileProperties::readFollowingLinks(c.path))
            c.identity = folder->identity;
        c.sizeMB = measuredMB(c);
        if (c.permanent)
            c.itemCount = Trash::homeTrashItemCount();
        QList<QByteArray> skipped;
        for (const QString &excluded : std::as_const(c.excluded))
            skipped.append(nativePath(excluded));
        for (const FileScan::SizedPath &file :
             FileScan::largestFiles(c.path, 10, cancel, skipped)) {
            JunkFileItem item;
            item.name = lastComponent(file.path);
            item.path = file.path;
            item.sizeMB = double(file.bytes) / 1024 / 1024;
            item.nativePath = file.nativePath;
            c.topFiles.append(item);
        }
    }
    return categories;
}

JunkViewModel::CleanReport JunkViewModel::emptyFolders(const QList<JunkCategory> &categories,
                                                       AppHost *appState)
{
    CleanReport report;
    report.ticked = int(categories.size());
    if (categories.isEmpty())
        return report;
    ScanProgress progress(appState, QStringLiteral("Cleaning junk caches..."));
    // The Trash first: what this clean moves there was not part of what was confirmed.
    for (const JunkCategory &c : categories) {
        if (!c.permanent || c.path.isEmpty())
            continue;
        const auto now = FileProperties::readFollowingLinks(c.path);
        if (!now || !c.identity.matches(now->identity)) {
            report.refusals.append(SafetyHelper::changedReason(nativePath(c.path)));
            continue;
        }
        const Trash::Emptied emptied = Trash::emptyHomeTrash();
        report.deleted += emptied.removed;
        report.notMoved += emptied.failed;
        if (!emptied.error.isEmpty())
            report.refusals.append(emptied.error);
        if (appState)
            appState->addLog(
                QStringLiteral("info"),
                QStringLiteral("Emptied the Trash: %1 items deleted.").arg(emptied.removed));
    }
    for (const JunkCategory &c : categories) {
        if (c.path.isEmpty() || c.permanent)
            continue;
        const QList<QByteArray> kept = keptChildren(c);
        // Counted just before its turn: an earlier category may have taken this folder.
        QStringList names = FileProperties::listNames(c.path).value_or(QStringList());
        names.removeIf([&](const QString &name) { return kept.contains(nativePath(name)); });
        const qsizetype before = names.size();
        const SafetyHelper::ContentsOutcome outcome =
            SafetyHelper::trashContents(c.path, c.identity, appState, kept);
        report.moved += outcome.moved;
        if (outcome.refusal.isEmpty())
            report.notMoved += qMax(0, int(before) - outcome.moved);
        else
            report.refusals.append(outcome.refusal);
    }
    if (appState) {
        appState->addLog(QStringLiteral("info"),
                         QStringLiteral("Moved ") + QString::number(report.ticked) +
                             QStringLiteral(" cache categories to the Trash."));
        appState->addLog(QStringLiteral("info"), QStringLiteral("Moved ") +
                                                     QString::number(report.moved) +
                                                     QStringLiteral(" items to the Trash in all."));
    }
    return report;
}

void JunkViewModel::scan(AppHost *appState)
{
    m_systemWork.track(Background::start([this, appState] {
        const QList<SystemCache> caches = SystemCaches::list(appState);
        QMetaObject::invokeMethod(
            this,
            [this, caches] {
                m_systemCaches = caches;
                emit systemCachesChanged();
                emit changed();
            },
            Qt::QueuedConnection);
    }));
    const CancelToken cancel;
    m_cycle.scan(
        [appState, cancel] { return std::pair(measureCategories(appState, cancel), cancel); },
        [this](const std::pair<QList<JunkCategory>, CancelToken> &measured, bool keepTicks) {
            publish(measured.first, keepTicks, measured.second.isCancelled());
        });
}

void JunkViewModel::cleanSelected(AppHost *appState)
{
    QList<JunkCategory> folders;
    for (const JunkCategory &c : std::as_const(m_categories)) {
        if (c.isSelected)
            folders.append(c);
    }
    if (folders.isEmpty() || m_cycle.isCleaning())
        return;
    const RemovalHub::Batch batch(QStringLiteral("junk"));
    m_ownBatches.insert(batch.id());
    const CancelToken cancel;
    m_cycle.clean(
        [folders, appState, batch] {
            const RemovalHub::Joined joined(batch);
            return emptyFolders(folders, appState);
        },
        [appState, cancel] { return std::pair(measureCategories(appState, cancel), cancel); },
        [this](const std::pair<QList<JunkCategory>, CancelToken> &measured, bool keepTicks) {
            publish(measured.first, keepTicks, measured.second.isCancelled());
        },
        [this](const CleanReport &report) { emit cleanFinished(report); });
}

void JunkViewModel::publish(QList<JunkCategory> measured, bool keepTicks, bool stopped)
{
    m_incomplete = stopped;
    if (keepTicks)
        ScanCleanCycle::carryTicks(m_categories, measured, tickKey);
    m_categories = measured;
    emit categoriesChanged();
    emit changed();
}

void JunkViewModel::sort(JunkSortColumn column, bool ascending)
{
    sortRows(m_categories, column, ascending);
    emit categoriesChanged();
    emit changed();
}

void JunkViewModel::dropRemoved(const RemovalBatch &batch)
{
    if (m_ownBatches.remove(batch.id))
        return;
    QList<JunkCategory> touched;
    for (JunkCategory &c : m_categories) {
        if (!touches(batch, nativePath(c.path)))
            continue;
        c.topFiles.removeIf([&](const JunkFileItem &f) { return batch.covers(f.nativePath); });
        touched.append(c);
    }
    if (touched.isEmpty())
        return;
    emit categoriesChanged();
    emit changed();
    const QFuture<QList<JunkCategory>> measured = Background::start([touched] {
        QList<JunkCategory> sized = touched;
        for (JunkCategory &c : sized)
            c.sizeMB = measuredMB(c);
        return sized;
    });
    m_work.track(QFuture<void>(measured));
    whenFinished(this, measured, [this](const QList<JunkCategory> &sized) {
        for (const JunkCategory &s : sized) {
            for (JunkCategory &c : m_categories) {
                if (tickKey(c) == tickKey(s))
                    c.sizeMB = s.sizeMB;
            }
        }
        emit categoriesChanged();
        emit changed();
    });
}
