#include "app/StallRecorder.h"

#include <QCoreApplication>
#include <QFile>

#include <ctime>

StallRecorder *StallRecorder::fromEnvironment(QObject *parent)
{
    const QString file = qEnvironmentVariable(fileVariable);
    return file.isEmpty() ? nullptr : new StallRecorder(file, parent);
}

StallRecorder::StallRecorder(const QString &file, QObject *parent) : QObject(parent), m_file(file)
{
    m_timer.setInterval(1);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        const qint64 t = now();
        const qint64 cpu = threadTime();
        m_gaps.push_back({t, t - m_last, cpu - m_lastCpu});
        m_last = t;
        m_lastCpu = cpu;
    });
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &StallRecorder::write);
}

StallRecorder::~StallRecorder()
{
    write();
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

void StallRecorder::start()
{
    if (m_timer.isActive())
        return;
    m_last = now();
    m_lastCpu = threadTime();
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
                QByteArray::number(g.busy) + '\n';
    f.write(text);
}
