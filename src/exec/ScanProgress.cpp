#include "exec/ScanProgress.h"

#include "exec/AppHost.h"

#include <QLocale>

#include <atomic>

namespace {
std::atomic<quint64> gLastScan{0};
}

ScanProgress::ScanProgress(AppHost *host, const QString &message,
                           const std::optional<CancelToken> &stop)
    : m_host(host), m_message(message)
{
    m_report.scan = ++gLastScan;
    m_report.running = true;
    m_report.message = message;
    m_report.stop = stop;
    QMutexLocker lock(&m_mutex);
    send(true);
}

ScanProgress::~ScanProgress()
{
    QMutexLocker lock(&m_mutex);
    m_report.running = false;
    send(true);
}

void ScanProgress::setMessage(const QString &message)
{
    QMutexLocker lock(&m_mutex);
    m_message = message;
    m_report.message = message;
    m_report.percentage = 0;
    m_report.busy = false;
    send(true);
}

void ScanProgress::setShare(qint64 done, qint64 total)
{
    QMutexLocker lock(&m_mutex);
    m_report.percentage = total > 0 ? 100.0 * double(qBound<qint64>(0, done, total)) / total : 0;
    m_report.busy = false;
    send(false);
}

void ScanProgress::setCounted(qint64 done, qint64 total, bool settled)
{
    QMutexLocker lock(&m_mutex);
    const QLocale locale;
    m_report.message = m_message + QStringLiteral(" · ") + locale.toString(done) +
                       QStringLiteral(" of ") + locale.toString(total) + QStringLiteral(" folders");
    m_report.busy = !settled;
    m_report.percentage =
        settled && total > 0 ? 100.0 * double(qBound<qint64>(0, done, total)) / total : 0;
    send(false);
}

void ScanProgress::setFound(qint64 found)
{
    QMutexLocker lock(&m_mutex);
    m_report.message =
        m_message + QStringLiteral(" · ") + QLocale().toString(found) + QStringLiteral(" found");
    send(false);
}

void ScanProgress::send(bool now)
{
    if (!m_host)
        return;
    if (!now && m_sent.isValid() && m_sent.elapsed() < frameMs)
        return;
    m_sent.start();
    m_host->reportScan(m_report);
}
