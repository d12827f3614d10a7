#include "platform/CTagTimers.h"

#include <QObject>

CTagTimers::CTagTimers(QObject* pOwner, int nDefaultPeriod)
    : m_pOwner(pOwner), m_nDefaultPeriod(nDefaultPeriod)
{
}

bool CTagTimers::Start(const QString& strTag, int nPeriod)
{
    if (IsRunning(strTag)) {
        return false;
    }
    const int nTimerId = m_pOwner->startTimer(nPeriod == -1 ? m_nDefaultPeriod : nPeriod, Qt::CoarseTimer);
    m_mapTagTimer.insert(strTag, nTimerId);
    return true;
}

bool CTagTimers::Stop(const QString& strTag)
{
    if (!IsRunning(strTag)) {
        return false;
    }
    m_pOwner->killTimer(m_mapTagTimer.value(strTag));
    m_mapTagTimer.insert(strTag, -1);
    return true;
}

bool CTagTimers::IsRunning(const QString& strTag) const
{
    return m_mapTagTimer.value(strTag, -1) > 0;
}

QString CTagTimers::TagOf(int nTimerId) const
{
    for (auto it = m_mapTagTimer.cbegin(); it != m_mapTagTimer.cend(); ++it) {
        if (it.value() == nTimerId && nTimerId > 0) {
            return it.key();
        }
    }
    return QString();
}
