#include "platform/NotificationCenter.h"

#include <QCoreApplication>

NotificationCenter *NotificationCenter::instance()
{
    static NotificationCenter *center = [] {
        auto *c = new NotificationCenter;
        if (QCoreApplication::instance())
            c->moveToThread(QCoreApplication::instance()->thread());
        return c;
    }();
    return center;
}

void NotificationCenter::post(const QString &name)
{
    QMetaObject::invokeMethod(
        this, [this, name] { emit notified(name); }, Qt::QueuedConnection);
}
