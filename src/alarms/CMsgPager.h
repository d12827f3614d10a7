// Paging of one message list, over the window's page number and page count:
// the page count a reply implies, the page to ask for when the current one
// has gone, and the steps of the four paging buttons.
#pragma once

#include <QString>

class CMsgPager
{
public:
    // Steps of the paging buttons, as the window's slots pass them.
    static constexpr int kFirst = 0;
    static constexpr int kPrevious = -1;
    static constexpr int kNext = 1;
    static constexpr int kLast = 2;

    CMsgPager(int& nCurPage, int& nPageCount);

    // Pages for nTotal messages of nSize each; a size below 1 (a hostile
    // reply) implies nothing, and nKept stays.
    static int PageCount(int nTotal, int nSize, int nKept);

    // After a reply: true when the page asked for lies past the last page and
    // came back empty (messages were deleted since); the current page is then
    // the last page, the one to ask for instead.
    bool TakePageGone(bool bPageEmpty);

    // What the paging bar shows: at least one page, the current one within.
    void Clamp();
    // The current page within 1 and the count, the count as it is.
    void KeepWithinCount();

    // Moves by a step; false, the page unchanged, when already at that end.
    bool Step(int nStep);
    static bool IsBackward(int nStep) { return nStep == kFirst || nStep == kPrevious; }

    bool AtFirst() const { return m_nCurPage == 1; }
    bool AtLast() const { return m_nCurPage == m_nPageCount; }
    // "current/count".
    QString Text() const;

private:
    int& m_nCurPage;
    int& m_nPageCount;
};
