#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <vector>

// A benchmark's probe of the main thread: a 1 ms timer notes every gap between its ticks,
// how much of it the thread spent running and how much it waited for a core while it
// could have run (the rest it slept or was blocked), and marks note moments (the first
// frame, a phase of a scripted run), all on the system's monotonic clock, written to a
// file when the program ends. The program makes one only when QUILLMAR_STALL_LOG names
// that file.
class StallRecorder : public QObject {
    Q_OBJECT
public:
    static constexpr const char fileVariable[] = "QUILLMAR_STALL_LOG";

    // A recorder writing to the file the environment names, or null.
    static StallRecorder *fromEnvironment(QObject *parent);
    StallRecorder(const QString &file, QObject *parent);
    ~StallRecorder() override;

    // Nanoseconds of the monotonic clock, the one the file's times are on.
    static qint64 now();

    // Begins timing the gaps.
    void start();
    void mark(const QByteArray &what, qint64 at = now());
    // Writes what was noted; later notes are written again at the end.
    void write();

private:
    static qint64 threadTime();
    // Time the thread has spent runnable but not running, or -1 where the system does not
    // say.
    qint64 queuedTime() const;

    struct Gap {
        qint64 end;
        qint64 length;
        qint64 busy;   // of the length, time the thread ran
        qint64 queued; // of the length, time it waited for a core (-1: unknown)
    };
    QString m_file;
    QTimer m_timer;
    qint64 m_last = 0;
    qint64 m_lastCpu = 0;
    qint64 m_lastQueued = 0;
    int m_schedstat = -1;
    std::vector<Gap> m_gaps;
    std::vector<std::pair<qint64, QByteArray>> m_marks;
};
