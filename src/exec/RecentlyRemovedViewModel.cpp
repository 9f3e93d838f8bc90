#include "exec/RecentlyRemovedViewModel.h"

#include "exec/Async.h"
#include "exec/Background.h"
#include "platform/RemovalHub.h"
#include "storage/StorageScanner.h"

#include <QtConcurrent>

RecentlyRemovedViewModel::RecentlyRemovedViewModel(QObject *parent) : QObject(parent)
{
    m_noticeTimer.setSingleShot(true);
    m_noticeTimer.setInterval(noticeSeconds * 1000);
    connect(&m_noticeTimer, &QTimer::timeout, this, [this] { setNotice(std::nullopt); });
    connect(RemovalHub::instance(), &RemovalHub::removed, this, &RecentlyRemovedViewModel::record);
}

RecentlyRemovedViewModel::~RecentlyRemovedViewModel()
{
    waitForTasks();
}

QString RecentlyRemovedViewModel::noticeText(const JournalEntry &entry)
{
    const qsizetype n = entry.items.size();
    return QStringLiteral("Moved %1 %2 (%3) to the Trash")
        .arg(n)
        .arg(n == 1 ? QStringLiteral("item") : QStringLiteral("items"))
        .arg(formatBytes(entry.bytes()));
}

void RecentlyRemovedViewModel::record(const RemovalBatch &batch)
{
    const QFuture<std::pair<JournalEntry, QString>> written = Background::start([batch] {
        JournalEntry entry = RemovalJournal::entryOf(batch);
        return std::pair(entry, RemovalJournal::append(entry));
    });
    m_work.track(QFuture<void>(written));
    whenFinished(this, written, [this](const std::pair<JournalEntry, QString> &done) {
        setJournalError(done.second.isEmpty()
                            ? QString()
                            : QStringLiteral("The record of removals (%1) could not be written: %2")
                                  .arg(RemovalJournal::file(), done.second));
        if (m_loaded) {
            QList<JournalEntry> entries = m_entries;
            entries.prepend(done.first);
            setEntries(entries);
        }
        setNotice(done.first);
        if (!m_noticeHeld)
            m_noticeTimer.start();
    });
}

void RecentlyRemovedViewModel::load()
{
    if (m_loading)
        return;
    setLoading(true);
    const QFuture<RemovalJournal::Contents> read = Background::start(&RemovalJournal::read);
    m_work.track(QFuture<void>(read));
    whenFinished(this, read, [this](const RemovalJournal::Contents &contents) {
        m_loaded = true;
        setEntries(contents.entries);
        setDamagedLines(contents.damagedLines);
        setJournalError(contents.error.isEmpty()
                            ? QString()
                            : QStringLiteral("The record of removals (%1) cannot be read: %2")
                                  .arg(RemovalJournal::file(), contents.error));
        setLoading(false);
    });
}

void RecentlyRemovedViewModel::holdNotice(bool held)
{
    if (held == m_noticeHeld)
        return;
    m_noticeHeld = held;
    if (held)
        m_noticeTimer.stop();
    else if (m_notice)
        m_noticeTimer.start();
}

void RecentlyRemovedViewModel::undoNotice()
{
    if (!m_notice)
        return;
    const QString key = m_notice->key;
    m_noticeTimer.stop();
    putBack(key);
}

void RecentlyRemovedViewModel::putBack(const QString &key, const QList<QByteArray> &paths)
{
    std::optional<JournalEntry> entry;
    if (m_notice && m_notice->key == key)
        entry = m_notice;
    for (const JournalEntry &e : std::as_const(m_entries)) {
        if (!entry && e.key == key)
            entry = e;
    }
    if (!entry)
        return;
    QList<JournalItem> items;
    for (const JournalItem &item : std::as_const(entry->items)) {
        if (item.state == JournalItem::State::InTrash &&
            (paths.isEmpty() || paths.contains(item.path)))
            items.append(item);
    }
    if (items.isEmpty())
        return;
    setPuttingBack(m_puttingBack + 1);
    struct Outcome {
        QList<QByteArray> restored;
        QList<Failure> failures;
    };
    const quint64 batchId = entry->batchId;
    const QString origin = entry->origin;
    const QFuture<Outcome> done = Background::start([key, items, batchId, origin] {
        Outcome outcome;
        RemovalBatch back;
        back.id = batchId;
        back.origin = origin;
        back.when = QDateTime::currentDateTime();
        for (const JournalItem &item : items) {
            const Trash::Result result = RemovalJournal::putBack(key, item);
            if (!result.ok) {
                outcome.failures.append({item.path, result.error});
                continue;
            }
            outcome.restored.append(item.path);
            back.items.append({item.path, item.resolvedPath, item.identity, item.bytes, result});
        }
        RemovalHub::reportRestored(back);
        return outcome;
    });
    m_work.track(QFuture<void>(done));
    whenFinished(this, done, [this, key](const Outcome &outcome) {
        markPutBack(key, outcome.restored);
        setPuttingBack(m_puttingBack - 1);
        emit putBackFinished(int(outcome.restored.size()), outcome.failures);
    });
}

void RecentlyRemovedViewModel::markPutBack(const QString &key, const QList<QByteArray> &paths)
{
    const auto mark = [&](JournalEntry &entry) {
        for (JournalItem &item : entry.items) {
            if (paths.contains(item.path))
                item.state = JournalItem::State::PutBack;
        }
    };
    if (m_notice && m_notice->key == key)
        setNotice(std::nullopt);
    QList<JournalEntry> entries = m_entries;
    for (JournalEntry &entry : entries) {
        if (entry.key == key)
            mark(entry);
    }
    setEntries(entries);
}

void RecentlyRemovedViewModel::setNotice(const std::optional<JournalEntry> &notice)
{
    if (m_notice == notice)
        return;
    m_notice = notice;
    emit noticeChanged();
    emit changed();
}

void RecentlyRemovedViewModel::setEntries(const QList<JournalEntry> &entries)
{
    // Not compared: a long journal would cost its length on the main thread.
    m_entries = entries;
    emit entriesChanged();
    emit changed();
}

void RecentlyRemovedViewModel::setLoading(bool loading)
{
    if (m_loading == loading)
        return;
    m_loading = loading;
    emit loadingChanged();
    emit changed();
}

void RecentlyRemovedViewModel::setDamagedLines(int lines)
{
    if (m_damagedLines == lines)
        return;
    m_damagedLines = lines;
    emit damagedLinesChanged();
    emit changed();
}

void RecentlyRemovedViewModel::setJournalError(const QString &error)
{
    if (m_journalError == error)
        return;
    m_journalError = error;
    emit journalErrorChanged();
    emit changed();
}

void RecentlyRemovedViewModel::setPuttingBack(int running)
{
    const bool was = isPuttingBack();
    m_puttingBack = running;
    if (was == isPuttingBack())
        return;
    emit puttingBackChanged();
    emit changed();
}
