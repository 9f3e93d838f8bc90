#pragma once

#include "exec/CancelToken.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QString>

#include <optional>

class AppHost;

// What the progress banner shows of one scan.
struct ScanReport {
    quint64 scan = 0; // which scan; 0 is every scan that reports through setScanProgress
    bool running = false;
    QString message;
    double percentage = 0;           // of a known total; 0 shows no share
    bool busy = false;               // the total is still growing: a bar that only says "working"
    std::optional<CancelToken> stop; // when the scan can be stopped through it
};

// One scan's progress on its way to the banner, from any thread. The start, a new message
// and the end go at once; counts and shares at most once a frame, so a scan that reports
// every item still reaches the main thread only now and then.
class ScanProgress {
public:
    static constexpr int frameMs = 16;

    // Starts the scan's report; a scan given a token can be stopped from the banner.
    ScanProgress(AppHost *host, const QString &message,
                 const std::optional<CancelToken> &stop = std::nullopt);
    // Ends it.
    ~ScanProgress();
    ScanProgress(const ScanProgress &) = delete;
    ScanProgress &operator=(const ScanProgress &) = delete;

    void setMessage(const QString &message);
    // `done` of `total`.
    void setShare(qint64 done, qint64 total);
    // Of a total still growing: a busy bar until `settled`.
    void setCounted(qint64 done, qint64 total, bool settled);
    // Items found so far, told after the message.
    void setFound(qint64 found);

private:
    void send(bool now);

    AppHost *m_host;
    QMutex m_mutex;
    ScanReport m_report;
    QString m_message;
    QElapsedTimer m_sent;
};
