#include "cleaning/DeepCleanViewModel.h"

#include "exec/AppHost.h"
#include "exec/Async.h"
#include "exec/Background.h"
#include "exec/ProcessRunner.h"
#include "exec/SafetyHelper.h"
#include "exec/ScanProgress.h"
#include "finders/HomeSearch.h"
#include "platform/DirectoryReader.h"
#include "platform/Exclusions.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"
#include "platform/MountTable.h"
#include "platform/RemovalHub.h"
#include "platform/Trash.h"

#include <QDir>
#include <QtConcurrent>

#include <algorithm>

namespace {

qint64 allocatedBelow(DirectoryReader &folder, int depth)
{
    if (depth > 256)
        return 0;
    qint64 total = 0;
    DirectoryReader::Kind hint;
    while (const char *name = folder.next(hint)) {
        DirectoryReader::Node node;
        if (!folder.statChild(name, node))
            continue;
        total += node.allocatedBytes;
        if (node.kind == DirectoryReader::Kind::Directory) {
            DirectoryReader child;
            if (child.openChild(folder, name))
                total += allocatedBelow(child, depth + 1);
        }
    }
    return total;
}

// The size of a folder whose name du cannot be handed (it is not valid UTF-8).
double sizeMBOfBytes(const QByteArray &path)
{
    DirectoryReader folder;
    if (!folder.open(path.constData()))
        return 0;
    DirectoryReader::Node self;
    DirectoryReader::statPath(path.constData(), self);
    return double(self.allocatedBytes + allocatedBelow(folder, 0)) / 1024 / 1024;
}

QString modifiedDayOfBytes(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    DirectoryReader parent;
    if (slash < 0 || !parent.open(slash == 0 ? "/" : path.left(slash).constData(), true))
        return {};
    const auto p = parent.childProperties(path.mid(slash + 1).constData());
    if (!p || !p->modified.isValid())
        return {};
    return p->modified.toLocalTime().toString(QStringLiteral("yyyy-MM-dd"));
}

} // namespace

struct DeepCleanViewModel::Stopper {
    CancelToken token;
};

DeepCleanViewModel::DeepCleanViewModel(QObject *parent)
    : QObject(parent), m_stopper(std::make_unique<Stopper>()),
      m_cycle(this, [this] { emit busyChanged(); })
{
    connect(RemovalHub::instance(), &RemovalHub::removed, this, &DeepCleanViewModel::dropRemoved);
}

void DeepCleanViewModel::dropRemoved(const RemovalBatch &batch)
{
    if (m_targets.removeIf([&](const NodeModuleTarget &t) {
            return batch.covers(t.nativePath, t.identity);
        }) > 0) {
        emit targetsChanged();
        emit changed();
    }
}

void DeepCleanViewModel::dropNotOffered()
{
    // Judged on the pool: the lists are files, and the targets many.
    const QList<NodeModuleTarget> targets = m_targets;
    const QFuture<QSet<QByteArray>> judged = Background::start([targets] {
        const Exclusions exclusions = Exclusions::current();
        QSet<QByteArray> refused;
        for (const NodeModuleTarget &t : targets) {
            if (!exclusions.offers(t.nativePath))
                refused.insert(t.nativePath);
        }
        return refused;
    });
    m_work.track(QFuture<void>(judged));
    whenFinished(this, judged, [this](const QSet<QByteArray> &refused) {
        if (m_targets.removeIf(
                [&](const NodeModuleTarget &t) { return refused.contains(t.nativePath); }) > 0) {
            emit targetsChanged();
            emit changed();
        }
    });
}

void DeepCleanViewModel::cancelWork()
{
    m_stopper->token.cancel();
    m_stopper->token = CancelToken();
}

DeepCleanViewModel::~DeepCleanViewModel()
{
    m_stopper->token.cancel();
    waitForTasks();
}

void DeepCleanViewModel::waitForTasks()
{
    m_cycle.waitForAll();
    m_work.waitForAll();
}

void DeepCleanViewModel::setSelected(const QUuid &id, bool selected)
{
    if (ScanCleanCycle::setSelected(m_targets, id, selected)) {
        emit targetsChanged();
        emit changed();
    }
}

void DeepCleanViewModel::setAllSelected(bool selected)
{
    bool any = false;
    for (NodeModuleTarget &t : m_targets) {
        any = any || t.isSelected != selected;
        t.isSelected = selected;
    }
    if (any) {
        emit targetsChanged();
        emit changed();
    }
}

bool DeepCleanViewModel::allSelected() const
{
    return !m_targets.isEmpty() && selectedCount() == m_targets.size();
}

int DeepCleanViewModel::selectedCount() const
{
    return ScanCleanCycle::selectedCount(m_targets);
}

void DeepCleanViewModel::holdSelection(bool hold)
{
    m_cycle.holdSelection(hold);
}

QList<NodeModuleTarget> DeepCleanViewModel::findTargets(AppHost *appState,
                                                        const CancelToken &cancel)
{
    ScanProgress progress(
        appState, QStringLiteral("Deep scanning for node_modules in your Home directory..."),
        cancel);
    const Locations &loc = Locations::current();
    // Bytes end to end: a line feed in a folder name must not split one path into two.
    // Hidden folders hold tools' own packages (editor extensions, global npm), not projects,
    // and the Trash's were put there on purpose.
    const QList<QByteArray> found = HomeSearch::find(
        {loc.home},
        {QStringLiteral("-maxdepth"), QStringLiteral("5"), QStringLiteral("-mindepth"),
         QStringLiteral("1")},
        {QStringLiteral("("), QStringLiteral("-path"),
         HomeSearch::literalPattern(nativePath(QDir::cleanPath(Trash::homeTrashFolder()))),
         QStringLiteral("-o"), QStringLiteral("-name"), QStringLiteral(".*"), QStringLiteral(")"),
         QStringLiteral("-prune"), QStringLiteral("-o"), QStringLiteral("-type"),
         QStringLiteral("d"), QStringLiteral("-name"), QStringLiteral("node_modules"),
         QStringLiteral("-prune"), QStringLiteral("-print0")},
        MountTable::read(), appState, cancel, &progress);

    QList<NodeModuleTarget> targets;
    const Exclusions exclusions = Exclusions::current();
    for (const QByteArray &entry : found) {
        if (cancel.isCancelled())
            break;
        if (!entry.endsWith("/node_modules") || !exclusions.offers(entry))
            continue;
        DirectoryReader::Node node;
        if (!DirectoryReader::statPath(entry.constData(), node) ||
            node.kind != DirectoryReader::Kind::Directory)
            continue;
        NodeModuleTarget t;
        t.nativePath = entry;
        t.identity = node.identity();
        t.path = decodeNativePath(entry.constData(), entry.size());
        // du takes text: only a name that comes back as the same bytes can be handed over.
        t.sizeMB = SafetyHelper::exactNativePath(t.path) == entry ? ProcessRunner::sizeMB({t.path})
                                                                  : sizeMBOfBytes(entry);
        t.lastModified = modifiedDayOfBytes(entry);
        targets.append(t);
    }
    return targets;
}

DeepCleanViewModel::CleanReport
DeepCleanViewModel::trashFolders(const QList<NodeModuleTarget> &folders, AppHost *appState)
{
    CleanReport report;
    report.ticked = int(folders.size());
    if (folders.isEmpty())
        return report;
    ScanProgress progress(appState, QStringLiteral("Trashing ") + QString::number(report.ticked) +
                                        QStringLiteral(" node_modules..."));
    for (const NodeModuleTarget &folder : folders) {
        const SafetyHelper::Outcome outcome =
            SafetyHelper::moveNativeToTrash(folder.nativePath, folder.identity, appState);
        if (outcome.ok)
            ++report.moved;
        else
            report.failures.append({folder.path, outcome.reason});
    }
    if (appState)
        appState->addLog(QStringLiteral("info"),
                         QStringLiteral("Successfully trashed ") + QString::number(report.moved) +
                             QLatin1Char('/') + QString::number(report.ticked) +
                             QStringLiteral(" node_modules."));
    return report;
}

void DeepCleanViewModel::scan(AppHost *appState)
{
    // Its own token: the banner's Stop ends this scan, not the next.
    const CancelToken cancel = m_stopper->token = CancelToken();
    m_cycle.scan(
        [appState, cancel] { return std::pair(findTargets(appState, cancel), cancel); },
        [this](const std::pair<QList<NodeModuleTarget>, CancelToken> &found, bool keepTicks) {
            publish(found.first, keepTicks, found.second.isCancelled());
        });
}

void DeepCleanViewModel::cleanSelected(AppHost *appState)
{
    QList<NodeModuleTarget> folders;
    for (const NodeModuleTarget &t : std::as_const(m_targets)) {
        if (t.isSelected)
            folders.append(t);
    }
    if (folders.isEmpty() || m_cycle.isCleaning())
        return;
    const CancelToken cancel = m_stopper->token = CancelToken();
    const RemovalHub::Batch batch(QStringLiteral("deepClean"));
    m_cycle.clean(
        [folders, appState, batch] {
            const RemovalHub::Joined joined(batch);
            return trashFolders(folders, appState);
        },
        [appState, cancel] { return std::pair(findTargets(appState, cancel), cancel); },
        [this](const std::pair<QList<NodeModuleTarget>, CancelToken> &found, bool keepTicks) {
            publish(found.first, keepTicks, found.second.isCancelled());
        },
        [this](const CleanReport &report) { emit cleanFinished(report); });
}

void DeepCleanViewModel::publish(QList<NodeModuleTarget> found, bool keepTicks, bool stopped)
{
    m_incomplete = stopped;
    if (keepTicks)
        ScanCleanCycle::carryTicks(m_targets, found,
                                   [](const NodeModuleTarget &t) { return t.nativePath; });
    m_targets = found;
    emit targetsChanged();
    emit changed();
}
