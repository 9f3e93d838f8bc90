#include "cleaning/ScanCleanCycle.h"

ScanCleanCycle::ScanCleanCycle(QObject *owner, std::function<void()> busyChanged)
    : m_owner(owner), m_busyChanged(std::move(busyChanged))
{
}

void ScanCleanCycle::holdSelection(bool hold)
{
    m_holds = qMax(0, m_holds + (hold ? 1 : -1));
}

bool ScanCleanCycle::isNewest(int generation)
{
    if (generation < m_published)
        return false;
    m_published = generation;
    return true;
}
