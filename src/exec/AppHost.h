#pragma once

#include "exec/ScanProgress.h"
#include "platform/DiskSpace.h"

#include <QString>
#include <QStringList>

#include <optional>

// What the code below the application asks of it. The application's state object is
// the one implementation; the engines and models also run without one (nullptr).
class AppHost {
public:
    virtual ~AppHost() = default;

    // Callable from any thread: one record in the system log.
    virtual void addLog(const QString &type, const QString &text) = 0;
    // Callable from any thread; never blocks. The scans that cannot be stopped share one
    // report.
    virtual void setScanProgress(bool isScanning, const QString &message, double percentage) = 0;
    // One scan's report (see ScanProgress); callable from any thread, never blocks.
    virtual void reportScan(const ScanReport &report) = 0;

    // The home volume's capacities in decimal gigabytes; main thread only.
    virtual double diskTotalGB() const = 0;
    virtual double diskUsedGB() const = 0;
    virtual void setDiskSpace(const DiskSpace &space) = 0;

    // An application went to the Trash: look for what it left behind. Main thread.
    // `aliases`: lower-case names its files may carry (entry id, window class, program).
    virtual void showLeftovers(const QString &name, const std::optional<QString> &bundleID,
                               const QString &appURL, const QStringList &aliases = {}) = 0;
};
