// The calendar pop-up turns presses and typing into one "yyyy-MM-dd hh:mm:ss"
// text. A wrong grid offset or a lost time field puts the wrong time window
// on the filter without the operator noticing.
#include "widgets/CusCalendarWnd.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QtTest>

namespace {

QRadioButton* day(CusCalendarWnd& cal, int nCell)
{
    return cal.findChild<QRadioButton*>(QStringLiteral("radioButton%1").arg(nCell));
}

// What the module window receives when the pop-up loses activation.
QString commit(CusCalendarWnd& cal)
{
    QSignalSpy spy(&cal, &CusCalendarWnd::sigCalendarSet);
    cal.show();
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(&cal, &deactivate);
    return spy.count() == 1 && cal.isHidden() ? spy.at(0).at(0).toString() : QStringLiteral("<none>");
}

} // namespace

class TestCalendar : public QObject
{
    Q_OBJECT
private slots:
    void gridOffsets_data()
    {
        QTest::addColumn<QString>("strDate");
        QTest::addColumn<int>("nFirstCell");
        QTest::addColumn<int>("nLastCell");
        QTest::newRow("1st is Sunday") << "2023-10-05 08:30:15" << 1 << 31;
        QTest::newRow("1st is Saturday") << "2022-10-05 08:30:15" << 7 << 37;
        QTest::newRow("28-day February") << "2015-02-05 08:30:15" << 1 << 28;
        QTest::newRow("leap February") << "2024-02-29 08:30:15" << 5 << 33;
    }

    void gridOffsets()
    {
        QFETCH(QString, strDate);
        QFETCH(int, nFirstCell);
        QFETCH(int, nLastCell);
        CusCalendarWnd cal(nullptr);
        cal.SetDateTime(strDate);
        QCOMPARE(day(cal, nFirstCell)->text(), QStringLiteral("01"));
        QVERIFY(nFirstCell == 1 || day(cal, nFirstCell - 1)->isHidden());
        QVERIFY(!day(cal, nLastCell)->isHidden() && day(cal, nLastCell + 1)->isHidden());
        QCOMPARE(commit(cal), strDate);
    }

    void dayPressAfterBrowsingFromTheMonthsEnd()
    {
        CusCalendarWnd cal(nullptr);
        cal.SetDateTime("2024-01-31 10:00:00");
        QTest::mouseClick(cal.findChild<QPushButton*>("previous_month"), Qt::LeftButton);
        QTest::mousePress(day(cal, 30), Qt::LeftButton); // December 2023 starts on a Friday
        QCOMPARE(commit(cal), QStringLiteral("2023-12-25 10:00:00"));
    }

    void timeFields()
    {
        CusCalendarWnd cal(nullptr);
        cal.SetDateTime("2023-10-05 08:30:15");
        auto* pHour = cal.findChild<QLineEdit*>("hourEdit");
        auto* pMinute = cal.findChild<QLineEdit*>("minuteEdit");
        QTest::mousePress(pMinute, Qt::LeftButton);
        QCOMPARE(commit(cal), QStringLiteral("2023-10-05 08:30:15")); // an untouched press restores
        pHour->clear();
        QTest::mousePress(pHour, Qt::LeftButton);
        QCOMPARE(commit(cal), QStringLiteral("2023-10-05 00:30:15")); // nothing before: 00
        QTest::mousePress(pHour, Qt::LeftButton);
        QTest::keyClicks(pHour, "24");
        QTest::mousePress(pMinute, Qt::LeftButton);
        QTest::keyClicks(pMinute, "60");
        // Out-of-range digits are refused; one digit still commits as two.
        QTest::mousePress(pMinute, Qt::LeftButton);
        QCOMPARE(commit(cal), QStringLiteral("2023-10-05 02:00:15"));
        // Unreadable text keeps the state.
        for (const char* bad : {"garbage", "2023-02-30 10:00:00", "2023-02-03 24:00:00", "2023-02-03"}) {
            cal.SetDateTime(bad);
            QCOMPARE(commit(cal), QStringLiteral("2023-10-05 02:00:15"));
        }
    }
};

QTEST_MAIN(TestCalendar)
#include "tst_calendar.moc"
