#include "app/widgets/OneATurn.h"

#include <QTimer>

void OneATurn::add(const QString &key, std::function<void()> work)
{
    if (m_waiting.contains(key))
        return;
    if (m_queue.isEmpty())
        QTimer::singleShot(0, this, &OneATurn::runNext);
    m_waiting.insert(key);
    m_queue.append({key, std::move(work)});
}

void OneATurn::runNext()
{
    if (m_queue.isEmpty())
        return;
    auto [key, work] = m_queue.takeFirst();
    m_waiting.remove(key);
    work();
    if (m_queue.isEmpty())
        emit drained();
    else
        QTimer::singleShot(0, this, &OneATurn::runNext);
}
