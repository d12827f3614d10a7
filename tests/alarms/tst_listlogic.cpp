// The message lists' plain logic: what each list request carries, and the
// paging arithmetic with the page that is gone after a deletion.
#include "alarms/CMsgListQuery.h"
#include "alarms/CMsgPager.h"

#include <QJsonDocument>
#include <QtTest>

#include <climits>

Q_DECLARE_METATYPE(HTTPMSG_BODY)

class TestListLogic : public QObject
{
    Q_OBJECT
private slots:
    // The platform reads a member that is present as a filter: a filter left
    // "none" must be absent, not sent with its "none" value.
    void requestBodies_data()
    {
        QTest::addColumn<HTTPMSG_BODY>("criteria");
        QTest::addColumn<QString>("expected");
        const std::string strFrom = "2026-03-01 00:00:00";
        const std::string strTo = "2026-03-01 23:59:59";
        QTest::newRow("all, page 3") << CMsgListQuery::Page(CMsgListQuery::kAll, 3, 30)
                                     << R"({"clientType":4,"pageNo":3,"pageSize":30})";
        QTest::newRow("unread") << CMsgListQuery::Page(CMsgListQuery::kUnread, 1, 30)
                                << R"({"clientType":4,"pageNo":1,"pageSize":30,"isRead":0})";
        QTest::newRow("search, every filter")
            << CMsgListQuery::Search(strFrom, strTo, 1, 0, "D1", 2)
            << R"({"clientType":4,"pageNo":1,"pageSize":30,"isRead":1,"isEncrypt":0,"deviceSerial":"D1",
                   "channelNo":2,"startTime":"2026-03-01 00:00:00","endTime":"2026-03-01 23:59:59"})";
        QTest::newRow("channel 0 is a device") << CMsgListQuery::Search("", "", 0, 1, "-1", 0)
                                               << R"({"clientType":4,"pageNo":1,"pageSize":30,"isRead":0,
                   "isEncrypt":1,"deviceSerial":"-1","channelNo":0})";
    }
    void requestBodies()
    {
        QFETCH(HTTPMSG_BODY, criteria);
        QFETCH(QString, expected);
        const std::string strBody = CMsgListQuery::Body(criteria);
        QCOMPARE(QJsonDocument::fromJson(QByteArray::fromStdString(strBody)),
                 QJsonDocument::fromJson(expected.toUtf8()));
    }

    // Pages a reply implies; a size below 1 is no divisor and keeps the count.
    void pageCount()
    {
        const int kCases[][4] = {
            {61, 30, 7, 3}, {60, 30, 7, 2}, {0, 30, 7, 0}, {INT_MIN, -1, 7, 7}, {INT_MAX, 1, 7, INT_MAX}};
        for (const auto& c : kCases)
            QCOMPARE(CMsgPager::PageCount(c[0], c[1], c[2]), c[3]);
    }

    // A deletion can empty the page shown: the reply for it comes back empty
    // with fewer pages, and the list asks for what is now the last page.
    void pageGone()
    {
        // {current page, page count, page came back empty, gone, page to ask for}
        const int kCases[][5] = {{4, 3, 1, 1, 3}, {9, 2, 1, 1, 2}, {3, 3, 1, 0, 3},
                                 {4, 3, 0, 0, 4}, {2, 0, 1, 0, 2}, {2, INT_MIN, 1, 0, 2}};
        for (const auto& c : kCases) {
            int nCur = c[0], nCount = c[1];
            QCOMPARE(CMsgPager(nCur, nCount).TakePageGone(c[2] != 0), c[3] != 0);
            QCOMPARE(nCur, c[4]);
        }
    }

    void stepsAndBar()
    {
        const struct
        {
            int nStep, nCur, nCount;
            bool bMoved;
            int nAfter;
        } kSteps[] = {
            {CMsgPager::kFirst, 4, 5, true, 1},    {CMsgPager::kFirst, 1, 5, false, 1},
            {CMsgPager::kPrevious, 4, 5, true, 3}, {CMsgPager::kNext, 5, 5, false, 5},
            {CMsgPager::kLast, 2, 5, true, 5},     {CMsgPager::kNext, INT_MAX, INT_MAX, false, INT_MAX}};
        for (const auto& step : kSteps) {
            int nCur = step.nCur, nCount = step.nCount;
            QCOMPARE(CMsgPager(nCur, nCount).Step(step.nStep), step.bMoved);
            QCOMPARE(nCur, step.nAfter);
        }
        // What the bar shows, whatever the reply left: at least one page.
        const struct
        {
            int nCur, nCount;
            const char* szText;
            bool bFirst, bLast;
        } kBars[] = {{0, 0, "1/1", true, true},
                     {2, 5, "2/5", false, false},
                     {9, 5, "5/5", false, true},
                     {INT_MIN, INT_MIN, "1/1", true, true}};
        for (const auto& bar : kBars) {
            int nCur = bar.nCur, nCount = bar.nCount;
            CMsgPager pager(nCur, nCount);
            pager.Clamp();
            QCOMPARE(pager.Text(), QLatin1String(bar.szText));
            QCOMPARE(pager.AtFirst(), bar.bFirst);
            QCOMPARE(pager.AtLast(), bar.bLast);
        }
    }
};

QTEST_APPLESS_MAIN(TestListLogic)
#include "tst_listlogic.moc"
