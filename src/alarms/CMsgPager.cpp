#include "alarms/CMsgPager.h"

#include <algorithm>

CMsgPager::CMsgPager(int& nCurPage, int& nPageCount) : m_nCurPage(nCurPage), m_nPageCount(nPageCount) {}

int CMsgPager::PageCount(int nTotal, int nSize, int nKept)
{
    if (nSize < 1) {
        return nKept;
    }
    return nTotal / nSize + (nTotal % nSize ? 1 : 0);
}

bool CMsgPager::TakePageGone(bool bPageEmpty)
{
    if (!bPageEmpty || m_nPageCount < 1 || m_nPageCount >= m_nCurPage) {
        return false;
    }
    m_nCurPage = m_nPageCount;
    return true;
}

void CMsgPager::Clamp()
{
    m_nPageCount = std::max(m_nPageCount, 1);
    KeepWithinCount();
}

void CMsgPager::KeepWithinCount()
{
    m_nCurPage = std::min(std::max(m_nCurPage, 1), m_nPageCount);
}

bool CMsgPager::Step(int nStep)
{
    if (IsBackward(nStep)) {
        if (m_nCurPage <= 1) {
            return false;
        }
        m_nCurPage = nStep == kFirst ? 1 : m_nCurPage - 1;
        return true;
    }
    if (m_nCurPage >= m_nPageCount) {
        return false;
    }
    m_nCurPage = nStep == kNext ? m_nCurPage + 1 : m_nPageCount;
    return true;
}

QString CMsgPager::Text() const
{
    return QStringLiteral("%1/%2").arg(m_nCurPage).arg(m_nPageCount);
}
