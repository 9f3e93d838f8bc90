#include "app/StallRecorder.h"

#include <QCoreApplication>
#include <QFile>

#include <ctime>

#include <fcntl.h>
#include <unistd.h>

StallRecorder *StallRecorder::fromEnvironment(QObject *parent)
{
    const QString file = qEnvironmentVariable(fileVariable);
    return file.isEmpty() ? nullptr : new StallRecorder(file, parent);
}

StallRecorder::StallRecorder(const QString &file, QObject *parent) : QObject(parent), m_file(file)
{
    m_timer.setInterval(1);
    m_timer.setTimerType(Qt::PreciseTimer);
    // The file describes the thread that opens it: this one, the main thread.
    m_schedstat = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        const qint64 t = now();
        const qint64 cpu = threadTime();
        const qint64 queued = queuedTime();
        m_gaps.push_back({t, t - m_last, cpu - m_lastCpu, queued < 0 ? -1 : queued - m_lastQueued});
        m_last = t;
        m_lastCpu = cpu;
        m_lastQueued = queued;
    });
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &StallRecorder::write);
}

StallRecorder::~StallRecorder()
{
    write();
    if (m_schedstat >= 0)
        ::close(m_schedstat);
}

qint64 StallRecorder::now()
{
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

qint64 StallRecorder::threadTime()
{
    timespec ts;
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

qint64 StallRecorder::queuedTime() const
{
    // "<ns run> <ns waited on a run queue> <slices>"
    char text[96];
    const ssize_t n = m_schedstat < 0 ? -1 : ::pread(m_schedstat, text, sizeof text - 1, 0);
    if (n <= 0)
        return -1;
    text[n] = 0;
    const QList<QByteArray> fields = QByteArray(text).simplified().split(' ');
    bool ok = false;
    const qint64 queued = fields.size() >= 2 ? fields[1].toLongLong(&ok) : -1;
    return ok ? queued : -1;
}

void StallRecorder::start()
{
    if (m_timer.isActive())
        return;
    m_last = now();
    m_lastCpu = threadTime();
    m_lastQueued = queuedTime();
    m_timer.start();
}

void StallRecorder::mark(const QByteArray &what, qint64 at)
{
    m_marks.emplace_back(at, what);
}

void StallRecorder::write()
{
    QFile f(m_file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    QByteArray text;
    for (const auto &[at, what] : m_marks)
        text += "mark " + QByteArray::number(at) + ' ' + what + '\n';
    for (const Gap &g : m_gaps)
        text += "gap " + QByteArray::number(g.end) + ' ' + QByteArray::number(g.length) + ' ' +
                QByteArray::number(g.busy) + ' ' + QByteArray::number(g.queued) + '\n';
    f.write(text);
}
