#include "platform/FullDiskAccess.h"

#include "platform/Locations.h"

#include <QMutex>

#include <fcntl.h>
#include <unistd.h>

namespace {
QMutex gMutex;
std::function<bool()> gProbe;
} // namespace

bool FullDiskAccess::read()
{
    {
        QMutexLocker lock(&gMutex);
        if (gProbe)
            return gProbe();
    }
    const QString probe = Locations::current().fullDiskAccessProbe;
    if (probe.isEmpty())
        return true;
    const int fd = ::open(probe.toUtf8().constData(), O_RDONLY);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

void FullDiskAccess::setProbe(std::function<bool()> probe)
{
    QMutexLocker lock(&gMutex);
    gProbe = std::move(probe);
}
