#pragma once

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <utility>

// Pieces of the window's work too slow for one paint (reading and scaling a theme image,
// rendering a drawing), done one a turn of the event loop so that no turn holds the
// window up. A key waits once, however often it is asked for.
class OneATurn : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Queues `work` under `key`, unless that key waits already.
    void add(const QString &key, std::function<void()> work);

signals:
    // Every piece asked for is done.
    void drained();

private:
    void runNext();

    QList<std::pair<QString, std::function<void()>>> m_queue;
    QSet<QString> m_waiting;
};
