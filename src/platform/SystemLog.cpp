#include "platform/SystemLog.h"

#include <QMutex>

#ifdef Q_OS_MACOS
#include <os/log.h>
#else
#include <syslog.h>
#endif

namespace {
QMutex gMutex;
SystemLog::Capture gCapture;
} // namespace

void SystemLog::write(Level level, const QString &message)
{
    {
        QMutexLocker lock(&gMutex);
        if (gCapture) {
            gCapture(level, message);
            return;
        }
    }
    const QByteArray text = message.toUtf8();
#ifdef Q_OS_MACOS
    static os_log_t handle = os_log_create(subsystem, category);
    if (level == Level::Error)
        os_log_error(handle, "%{public}s", text.constData());
    else
        os_log_info(handle, "%{public}s", text.constData());
#else
    static const bool opened = [] {
        openlog(subsystem, LOG_PID, LOG_USER);
        return true;
    }();
    Q_UNUSED(opened);
    syslog(level == Level::Error ? LOG_ERR : LOG_INFO, "%s", text.constData());
#endif
}

void SystemLog::setCapture(Capture capture)
{
    QMutexLocker lock(&gMutex);
    gCapture = std::move(capture);
}
