// The calendar pop-up turns presses and typing into one "yyyy-MM-dd hh:mm:ss"
// text. A wrong grid offset or a lost time field puts the wrong time window
// on the filter without the operator noticing.
#include "logkit/LogKit.h"
#include "shell/MessageClient.h"
#include "widgets/CusCalendarWnd.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QtTest>

class TestCalendar : public QObject
{
    Q_OBJECT
private:
    static QRadioButton* day(CusCalendarWnd& cal, int nCell)
    {
        return cal.findChild<QRadioButton*>(QStringLiteral("radioButton%1").arg(nCell));
    }
    static QLineEdit* field(CusCalendarWnd& cal, const char* szName)
    {
        return cal.findChild<QLineEdit*>(szName);
    }

    // Index (1-based) of the cell that shows day 1, and how many are checked.
    static int firstDayCell(CusCalendarWnd& cal)
    {
        for (int i = 1; i <= 42; ++i) {
            if (!day(cal, i)->isHidden()) {
                return day(cal, i)->text() == "01" ? i : -1;
            }
        }
        return -1;
    }
    static int checkedCount(CusCalendarWnd& cal)
    {
        int n = 0;
        for (int i = 1; i <= 42; ++i) {
            n += day(cal, i)->isChecked() ? 1 : 0;
        }
        return n;
    }

    // What the module window receives when the pop-up loses activation.
    static QString commit(CusCalendarWnd& cal)
    {
        QSignalSpy spy(&cal, &CusCalendarWnd::sigCalendarSet);
        cal.show();
        QEvent deactivate(QEvent::WindowDeactivate);
        QApplication::sendEvent(&cal, &deactivate);
        return spy.count() == 1 && cal.isHidden() ? spy.at(0).at(0).toString() : QStringLiteral("<none>");
    }

private slots:
    void initTestCase() { logkit::startCapture(); }

    void startsOnYesterdayAtMidnight()
    {
        CusCalendarWnd cal(nullptr);
        QCOMPARE(commit(cal), QDate::currentDate().addDays(-1).toString("yyyy-MM-dd") + " 00:00:00");
    }

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
        QCOMPARE(firstDayCell(cal), nFirstCell);
        QVERIFY(!day(cal, nLastCell)->isHidden());
        QVERIFY(nLastCell == 42 || day(cal, nLastCell + 1)->isHidden());
        const int nDay = strDate.mid(8, 2).toInt();
        QVERIFY(day(cal, nFirstCell + nDay - 1)->isChecked());
        QCOMPARE(checkedCount(cal), 1);
        QCOMPARE(cal.findChild<QLabel*>("date_label")->text(),
                 strDate.left(4) + "年" + strDate.mid(5, 2) + "月");
        QCOMPARE(commit(cal), strDate);
    }

    void dayPressAndBrowsing()
    {
        CusCalendarWnd cal(nullptr);
        cal.SetDateTime("2023-10-05 08:30:15");
        QTest::mousePress(day(cal, 12), Qt::LeftButton); // cell 12 of October 2023 is the 12th
        QVERIFY(day(cal, 12)->isChecked());
        QCOMPARE(checkedCount(cal), 1);
        QTest::mouseClick(cal.findChild<QPushButton*>("next_month"), Qt::LeftButton);
        QCOMPARE(cal.findChild<QLabel*>("date_label")->text(), QStringLiteral("2023年11月"));
        QCOMPARE(checkedCount(cal), 0); // the selection lies in another month
        QCOMPARE(commit(cal), QStringLiteral("2023-10-12 08:30:15"));
        cal.SetDateTime("2024-01-31 10:00:00");
        QTest::mouseClick(cal.findChild<QPushButton*>("previous_month"), Qt::LeftButton);
        QCOMPARE(cal.findChild<QLabel*>("date_label")->text(), QStringLiteral("2023年12月"));
        QTest::mousePress(day(cal, firstDayCell(cal) + 24), Qt::LeftButton);
        QCOMPARE(commit(cal), QStringLiteral("2023-12-25 10:00:00"));
    }

    void laterDaysAreGreyAndStillEmitted()
    {
        CusCalendarWnd cal(nullptr);
        const QDate tomorrow = QDate::currentDate().addDays(1);
        cal.SetDateTime(QDate::currentDate().toString("yyyy-MM-dd") + " 12:00:00");
        if (tomorrow.month() != QDate::currentDate().month()) {
            QTest::mouseClick(cal.findChild<QPushButton*>("next_month"), Qt::LeftButton);
        }
        QRadioButton* pTomorrow = day(cal, firstDayCell(cal) + tomorrow.day() - 1);
        QVERIFY(pTomorrow->styleSheet().contains("color:#b8bccc"));
        QVERIFY(
            day(cal, firstDayCell(cal))->styleSheet().contains(tomorrow.day() == 1 ? "#b8bccc" : "#4f5466"));
        QTest::mousePress(pTomorrow, Qt::LeftButton);
        QCOMPARE(commit(cal), tomorrow.toString("yyyy-MM-dd") + " 12:00:00");
    }

    void timeFields()
    {
        CusCalendarWnd cal(nullptr);
        cal.SetDateTime("2023-10-05 08:30:15");
        QLineEdit* pMinute = field(cal, "minuteEdit");
        QTest::mousePress(pMinute, Qt::LeftButton);
        QVERIFY(pMinute->text().isEmpty());
        QVERIFY(pMinute->styleSheet().contains("background-color:#e5ebff"));
        QVERIFY(field(cal, "secondEdit")->styleSheet().contains("background-color:#ffffff"));
        QCOMPARE(commit(cal), QStringLiteral("2023-10-05 08:30:15")); // untouched press restores
        QLineEdit* pHour = field(cal, "hourEdit");
        pHour->clear();
        QTest::mousePress(pHour, Qt::LeftButton);
        QCOMPARE(commit(cal), QStringLiteral("2023-10-05 00:30:15")); // nothing before: 00
        QTest::mousePress(pHour, Qt::LeftButton);
        QTest::keyClicks(pHour, "7");
        QCOMPARE(commit(cal), QStringLiteral("2023-10-05 07:30:15"));
        QTest::mousePress(pHour, Qt::LeftButton);
        QTest::keyClicks(pHour, "24");
        QCOMPARE(pHour->text(), QStringLiteral("2"));
        QTest::mousePress(pMinute, Qt::LeftButton);
        QTest::keyClicks(pMinute, "60");
        QCOMPARE(pMinute->text(), QStringLiteral("0"));
        // A second press remembers a one-digit text; it still commits as two digits.
        QTest::mousePress(pMinute, Qt::LeftButton);
        QCOMPARE(commit(cal), QStringLiteral("2023-10-05 02:00:15"));
    }

    void stepButtonsStopAtTheLimits()
    {
        CusCalendarWnd cal(nullptr);
        QPushButton* pAdd = cal.findChild<QPushButton*>("addNumBtn");
        QPushButton* pDec = cal.findChild<QPushButton*>("decreaseBtn");
        QVERIFY(pAdd->isHidden() && pDec->isHidden());
        QLineEdit* pMinute = field(cal, "minuteEdit");
        QTest::mousePress(pMinute, Qt::LeftButton);
        QTest::keyClicks(pMinute, "59");
        pAdd->click();
        QCOMPARE(pMinute->text(), QStringLiteral("59"));
        pDec->click();
        QCOMPARE(pMinute->text(), QStringLiteral("58"));
        QLineEdit* pHour = field(cal, "hourEdit");
        QTest::mousePress(pHour, Qt::LeftButton);
        QTest::keyClicks(pHour, "22");
        pAdd->click();
        pAdd->click();
        QCOMPARE(pHour->text(), QStringLiteral("23"));
        pHour->setText("00");
        pDec->click();
        QCOMPARE(pHour->text(), QStringLiteral("00"));
    }

    void unreadableTextKeepsTheState_data()
    {
        QTest::addColumn<QString>("strBad");
        QTest::newRow("garbage") << "garbage";
        QTest::newRow("no such day") << "2023-02-30 10:00:00";
        QTest::newRow("hour 24") << "2023-02-03 24:00:00";
        QTest::newRow("short") << "2023-02-03";
    }

    void unreadableTextKeepsTheState()
    {
        QFETCH(QString, strBad);
        CusCalendarWnd cal(nullptr);
        cal.SetDateTime("2023-10-05 08:30:15");
        logkit::clearCapture();
        cal.SetDateTime(strBad);
        QVERIFY(logkit::captured("unreadable date time", 5));
        QCOMPARE(commit(cal), QStringLiteral("2023-10-05 08:30:15"));
    }

    void deactivationWhileHiddenSendsNothing()
    {
        CusCalendarWnd cal(nullptr);
        QSignalSpy spy(&cal, &CusCalendarWnd::sigCalendarSet);
        QEvent deactivate(QEvent::WindowDeactivate);
        QApplication::sendEvent(&cal, &deactivate);
        QCOMPARE(spy.count(), 0);
    }

    void choiceGoesToTheModuleWindowOnly()
    {
        MessageClient w{QString()};
        auto* pCal = new CusCalendarWnd(&w);
        QVERIFY(
            QObject::disconnect(pCal, &CusCalendarWnd::sigCalendarSet, &w, &MessageClient::slotCalendarSet));
        QWidget plain;
        logkit::clearCapture();
        CusCalendarWnd other(&plain);
        QVERIFY(logkit::captured("parent is not the module window"));
    }
};

QTEST_MAIN(TestCalendar)
#include "tst_calendar.moc"
