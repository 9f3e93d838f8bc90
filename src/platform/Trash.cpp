#include "platform/Trash.h"

#include "platform/Locations.h"

#include <QDir>
#include <QMutex>

namespace {
QMutex gMutex;
Trash::MountTopResolver gResolver;
} // namespace

QString Trash::homeTrashFolder()
{
    return QDir::cleanPath(Locations::current().trashFiles + "/..");
}

void Trash::setMountTopResolver(MountTopResolver resolver)
{
    QMutexLocker lock(&gMutex);
    gResolver = std::move(resolver);
}

Trash::Result Trash::moveToTrash(const QString &path)
{
    Q_UNUSED(path);
    return {false, QStringLiteral("The Trash is not available yet"), {}};
}
