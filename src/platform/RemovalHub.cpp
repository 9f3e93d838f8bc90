#include "platform/RemovalHub.h"

#include "platform/BytePath.h"

#include <QCoreApplication>
#include <QMutex>

#include <atomic>
#include <chrono>

qint64 RemovedItem::now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct RemovalHub::Batch::Shared {
    QMutex mutex;
    RemovalBatch batch;
    ~Shared()
    {
        if (batch.items.isEmpty())
            return;
        batch.index();
        RemovalHub::announce(batch);
    }
};

namespace {

std::atomic<quint64> gLastBatch{0};
thread_local std::shared_ptr<RemovalHub::Batch::Shared> tJoined;

bool sameOrInside(const QByteArray &path, const QByteArray &identityPath,
                  const FileIdentity &identity, const RemovedItem &item)
{
    if (identityPath.isEmpty())
        return false;
    if (BytePath::isStrictlyInside(path, identityPath))
        return true;
    if (path != identityPath)
        return false;
    return identity.isNull() || item.identity.isNull() || identity.id() == item.identity.id();
}

} // namespace

bool RemovalBatch::covers(const QByteArray &path, const FileIdentity &identity) const
{
    if (m_byPath.isEmpty()) {
        for (const RemovedItem &item : items) {
            if (sameOrInside(path, item.path, identity, item) ||
                sameOrInside(path, item.resolvedPath, identity, item))
                return true;
        }
        return false;
    }
    if (const auto same = m_byPath.constFind(path); same != m_byPath.cend()) {
        const FileIdentity &removed = items.at(same.value()).identity;
        if (identity.isNull() || removed.isNull() || identity.id() == removed.id())
            return true;
    }
    // Every folder above the row, found by its hash first: most rows have none that went.
    for (qsizetype slash = path.lastIndexOf('/'); slash >= 0;
         slash = slash > 0 ? path.lastIndexOf('/', slash - 1) : -1) {
        const QByteArrayView up =
            slash == 0 ? QByteArrayView("/") : QByteArrayView(path).first(slash);
        if (m_hashes.contains(qHash(up)) && m_byPath.contains(up.toByteArray()))
            return true;
    }
    return false;
}

void RemovalBatch::index()
{
    m_byPath.clear();
    m_hashes.clear();
    for (qsizetype i = 0; i < items.size(); ++i) {
        for (const QByteArray &spelling : {items[i].path, items[i].resolvedPath}) {
            if (spelling.isEmpty())
                continue;
            m_byPath.insert(spelling, i);
            m_hashes.insert(qHash(QByteArrayView(spelling)));
        }
    }
}

RemovalHub *RemovalHub::instance()
{
    static RemovalHub *hub = [] {
        auto *h = new RemovalHub;
        if (QCoreApplication::instance())
            h->moveToThread(QCoreApplication::instance()->thread());
        return h;
    }();
    return hub;
}

RemovalHub::Batch::Batch(const QString &origin) : d(std::make_shared<Shared>())
{
    d->batch.id = ++gLastBatch;
    d->batch.origin = origin;
}

quint64 RemovalHub::Batch::id() const
{
    return d->batch.id;
}

QString RemovalHub::Batch::origin() const
{
    return d->batch.origin;
}

RemovalHub::Joined::Joined(const Batch &batch) : m_previous(std::move(tJoined))
{
    tJoined = batch.d;
}

RemovalHub::Joined::~Joined()
{
    tJoined = std::move(m_previous);
}

void RemovalHub::report(const RemovedItem &item)
{
    if (!tJoined) {
        Batch alone;
        alone.d->batch.when = QDateTime::currentDateTime();
        alone.d->batch.items.append(item);
        return;
    }
    QMutexLocker lock(&tJoined->mutex);
    if (tJoined->batch.items.isEmpty())
        tJoined->batch.when = QDateTime::currentDateTime();
    tJoined->batch.items.append(item);
}

void RemovalHub::announce(const RemovalBatch &batch)
{
    RemovalHub *hub = instance();
    QMetaObject::invokeMethod(
        hub, [hub, batch] { emit hub->removed(batch); }, Qt::QueuedConnection);
}

void RemovalHub::reportRestored(RemovalBatch batch)
{
    if (batch.items.isEmpty())
        return;
    batch.index();
    RemovalHub *hub = instance();
    QMetaObject::invokeMethod(
        hub, [hub, batch] { emit hub->restored(batch); }, Qt::QueuedConnection);
}
