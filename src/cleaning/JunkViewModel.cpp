#include "cleaning/JunkViewModel.h"

#include "exec/AppHost.h"
#include "exec/ProcessRunner.h"
#include "exec/SafetyHelper.h"
#include "finders/FileScan.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"
#include "platform/PlatformTexts.h"
#include "platform/Trash.h"

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

} // namespace

JunkViewModel::JunkViewModel(QObject *parent)
    : QObject(parent), m_cycle(this, [this] { emit busyChanged(); })
{
}

JunkViewModel::~JunkViewModel()
{
    waitForTasks();
}

void JunkViewModel::waitForTasks()
{
    m_cycle.waitForAll();
    m_systemWork.waitForAll();
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

QList<JunkCategory> JunkViewModel::measureCategories(AppHost *appState)
{
    if (appState)
        appState->setScanProgress(true, QStringLiteral("Scanning system caches..."), 0);
    QList<JunkCategory> categories = freshCategories();
    for (JunkCategory &c : categories) {
        if (c.path.isEmpty())
            continue;
        if (const auto folder = FileProperties::readFollowingLinks(c.path))
            c.identity = folder->identity;
        c.sizeMB = ProcessRunner::sizeMB({c.path});
        if (c.permanent)
            c.itemCount = Trash::homeTrashItemCount();
        for (const FileScan::SizedPath &file : FileScan::largestFiles(c.path, 10)) {
            JunkFileItem item;
            item.name = lastComponent(file.path);
            item.path = file.path;
            item.sizeMB = double(file.bytes) / 1024 / 1024;
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
    if (appState)
        appState->setScanProgress(true, QStringLiteral("Cleaning junk caches..."), 0);
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
        // Counted just before its turn: an earlier category may have taken this folder.
        const qsizetype before = FileProperties::listNames(c.path).value_or(QStringList()).size();
        const SafetyHelper::ContentsOutcome outcome =
            SafetyHelper::trashContents(c.path, c.identity, appState);
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
    m_systemWork.track(QtConcurrent::run([this, appState] {
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
    m_cycle.scan(
        appState, [appState] { return measureCategories(appState); },
        [this](const QList<JunkCategory> &measured, bool keepTicks) {
            publish(measured, keepTicks);
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
    m_cycle.clean(
        appState, [folders, appState] { return emptyFolders(folders, appState); },
        [appState] { return measureCategories(appState); },
        [this](const QList<JunkCategory> &measured, bool keepTicks) {
            publish(measured, keepTicks);
        },
        [this](const CleanReport &report) { emit cleanFinished(report); });
}

void JunkViewModel::publish(QList<JunkCategory> measured, bool keepTicks)
{
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
