#pragma once

#include <QObject>
#include <QString>

// In-process notifications by name, delivered on the main thread.
class NotificationCenter : public QObject {
    Q_OBJECT
public:
    static NotificationCenter *instance();
    void post(const QString &name);

signals:
    void notified(const QString &name);

private:
    NotificationCenter() = default;
};
