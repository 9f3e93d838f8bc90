#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// A volume's capacities, counted as df counts them: the blocks kept for the system are
// neither used nor available.
struct DiskSpace {
    qint64 totalBytes = 0;     // every block
    qint64 usedBytes = 0;      // every block that is not free
    qint64 availableBytes = 0; // what an ordinary user may still write

    // used / (used + available) in whole percent, rounded up as df rounds.
    int usedPercent() const;

    // statvfs of the folder's volume; nothing when it cannot be read.
    static std::optional<DiskSpace> read(const QString &folder);

    friend bool operator==(const DiskSpace &, const DiskSpace &) = default;
};
