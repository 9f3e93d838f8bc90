#pragma once

#include "exec/Background.h"
#include "exec/BackgroundWork.h"

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QSet>
#include <QUuid>
#include <QtConcurrent>

#include <algorithm>
#include <atomic>
#include <functional>
#include <type_traits>

// The scans and cleans of a model whose list of tickable rows is found off the main
// thread. Scans are numbered as they start, so an older one that ends late is dropped;
// one clean runs at a time and is followed by a fresh scan; a scan that ends while the
// ticks are held (a confirmation is open) or a clean runs keeps them.
class ScanCleanCycle {
public:
    // Results are published on `owner`'s thread; `busyChanged` runs there whenever
    // scanning or cleaning may have changed.
    ScanCleanCycle(QObject *owner, std::function<void()> busyChanged);

    bool isScanning() const { return m_runningScans > 0; }
    bool isCleaning() const { return m_cleaning; }
    // Calls nest.
    void holdSelection(bool hold);
    // Blocks until every task started so far has ended.
    void waitForAll() { m_work.waitForAll(); }

    // Runs `find()` off the main thread, then `publish(rows, keepTicks)` on the owner's
    // thread unless a newer scan has published already.
    template <typename Find, typename Publish> void scan(Find find, Publish publish)
    {
        const int generation = ++m_generation;
        ++m_runningScans;
        m_busyChanged();
        m_work.track(Background::start([this, generation, find, publish] {
            const auto found = find();
            QMetaObject::invokeMethod(
                m_owner,
                [this, found, generation, publish] {
                    --m_runningScans;
                    if (isNewest(generation))
                        publish(found, m_holds > 0 || m_cleaning);
                    m_busyChanged();
                },
                Qt::QueuedConnection);
        }));
    }

    // Runs `clean()` and then `find()` off the main thread, then on the owner's thread
    // `publish(rows, false)` and `finished(report)`.
    template <typename Clean, typename Find, typename Publish, typename Finished>
    void clean(Clean clean, Find find, Publish publish, Finished finished)
    {
        m_cleaning = true;
        m_busyChanged();
        m_work.track(Background::start([this, clean, find, publish, finished] {
            const auto report = clean();
            const int generation = ++m_generation;
            const auto found = find();
            QMetaObject::invokeMethod(
                m_owner,
                [this, found, generation, report, publish, finished] {
                    m_cleaning = false;
                    if (isNewest(generation))
                        publish(found, false);
                    m_busyChanged();
                    finished(report);
                },
                Qt::QueuedConnection);
        }));
    }

    // The ticks of rows with an `id` and an `isSelected`. Each returns whether anything
    // changed.
    template <typename Row>
    static bool setSelected(QList<Row> &rows, const QUuid &id, bool selected)
    {
        for (Row &row : rows) {
            if (row.id == id && row.isSelected != selected) {
                row.isSelected = selected;
                return true;
            }
        }
        return false;
    }
    template <typename Row> static int selectedCount(const QList<Row> &rows)
    {
        return int(std::count_if(rows.cbegin(), rows.cend(),
                                 [](const Row &row) { return row.isSelected; }));
    }
    // Ticks the fresh rows whose `keyOf` matches a ticked old row (identifiers are new
    // with every scan).
    template <typename Row, typename KeyOf>
    static void carryTicks(const QList<Row> &old, QList<Row> &fresh, KeyOf keyOf)
    {
        QSet<std::decay_t<decltype(keyOf(old.first()))>> ticked;
        for (const Row &row : old) {
            if (row.isSelected)
                ticked.insert(keyOf(row));
        }
        for (Row &row : fresh)
            row.isSelected = ticked.contains(keyOf(row));
    }

private:
    bool isNewest(int generation);

    QObject *m_owner;
    std::function<void()> m_busyChanged;
    int m_runningScans = 0;
    bool m_cleaning = false;
    int m_holds = 0;
    std::atomic_int m_generation{0};
    int m_published = 0;
    BackgroundWork m_work;
};
