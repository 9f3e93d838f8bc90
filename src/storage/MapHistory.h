#pragma once

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>

#include <optional>

struct StorageEntry;

// What the map measured of each opened folder's children before, so a column can say how
// each child changed since: "+1.2 GB since 3 Dec". A compact file in the cache folder
// keeps, per folder, the children of 1 MB or more of its last ten measurements (one a day:
// a later one the same day replaces it). Safe from any thread; reads and writes the disk.
class MapHistory {
public:
    static constexpr qint64 smallestKept = 1'000'000;
    static constexpr int measurementsKept = 10;
    // Folders measured longest ago go first beyond this many.
    static constexpr int foldersKept = 500;

    explicit MapHistory(const QString &file = defaultFile());
    static QString defaultFile();

    // Keeps this measurement of `folder` and fills each child's change since the last
    // measurement of an earlier day; a child below 1 MB then counts as nothing.
    void record(const QByteArray &folder, QList<StorageEntry> &children,
                const QDate &day = QDate::currentDate());

    // "+1.2 GB since 3 Dec", "-300 MB since 1 Nov"; empty for no history or no change.
    static QString changeText(qint64 bytes, const QDate &since);

private:
    struct Measurement {
        QDate day;
        QHash<QByteArray, qint64> children; // name, bytes
    };
    void load();
    void save();

    const QString m_file;
    QMutex m_mutex;
    bool m_loaded = false;
    QHash<QByteArray, QList<Measurement>> m_folders; // oldest first
};
