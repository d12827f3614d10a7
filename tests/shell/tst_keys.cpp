// The operator's keys, deletion from the detail side and the search result's
// criteria, against the real simulator, video library and host: keys go to the
// widgets as the keyboard sends them, and what happens is read back from the
// window and from the requests the simulator received.
#include "ModuleFixture.h"

#include "alarms/CAlarmMsgWnd.h"
#include "playback/CPlayThread.h"
#include "playback/CusSlider.h"
#include "playback/CusSliderWnd.h"
#include "widgets/CMsgBox.h"

#include <QApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextDocument>
#include <QUrlQuery>
#include <QtTest>

namespace {

constexpr int kWaitMs = 30000;
constexpr int kAlarms = 35; // a page of 30 and one of 5

} // namespace

class TestKeys : public QObject
{
    Q_OBJECT
private:
    ModuleFixture m_fx;
    SimulatorProcess& m_sim = m_fx.sim;
    MessageClient* m_client = nullptr;
    qint64 m_nAlarmMs = 0;

    template <typename T>
    T* child(const char* szName) const
    {
        return m_fx.child<T>(szName);
    }
    CListCtrl* unreadList() const { return m_fx.unreadList(); }
    CPlayThread* worker() const { return m_client->findChild<CPlayThread*>(); }
    CusSliderWnd* bar() const { return m_client->findChild<CusSliderWnd*>(); }
    QString shownTime() const { return child<QLabel>("alarmTimeLab")->text(); }
    QString detailPage() const { return child<QStackedWidget>("rghtStkWgt")->currentWidget()->objectName(); }
    QString tipText() const { return m_fx.tipText(); }
    QJsonArray requests(const QString& strPath) { return m_sim.lastRequests(strPath, 100); }
    void clearRequests() { m_sim.admin("POST", "/admin/requests/clear"); }

    void key(Qt::Key eKey) { QTest::keyClick(QApplication::focusWidget(), eKey); }

    void clickRow(int nIndex)
    {
        CListCtrl* pList = unreadList();
        QTest::mouseClick(pList->viewport(), Qt::LeftButton, {},
                          pList->visualItemRect(pList->item(nIndex)).center());
    }

    // Answers the next message box with OK once it is up; its text goes to *pText.
    void acceptNextBox(QString* pText)
    {
        auto* pTimer = new QTimer(this);
        connect(pTimer, &QTimer::timeout, this, [pTimer, pText] {
            auto* pBox = qobject_cast<CMsgBox*>(QApplication::activeModalWidget());
            if (!pBox) {
                return;
            }
            pTimer->deleteLater();
            pTimer->stop();
            *pText = pBox->findChild<QLabel*>("msgtext")->text();
            pBox->findChild<QPushButton*>("okbtn")->click();
        });
        pTimer->start(20);
    }

    // The start time of the newest stream request the video library sent.
    QString lastStreamStart()
    {
        const QJsonArray streams = requests("/cloud/v1/stream");
        if (streams.isEmpty()) {
            return QString();
        }
        return QUrlQuery(streams.last().toObject().value("query").toString())
            .queryItemValue("start", QUrl::FullyDecoded);
    }

    QString searchStartPlus(int nSeconds) const
    {
        return QDateTime::fromString(QString::fromStdString(worker()->SearchStartTime()),
                                     "yyyy-MM-dd hh:mm:ss")
            .addSecs(nSeconds)
            .toString("yyyy-MM-dd hh:mm:ss");
    }

private slots:
    void initTestCase()
    {
        m_nAlarmMs = QDateTime::currentMSecsSinceEpoch() - 300000;
        QVERIFY2(m_fx.start({{{"deviceSerial", "PV1000001"},
                              {"count", kAlarms},
                              {"alarmTime", m_nAlarmMs},
                              {"push", false}}},
                            true) &&
                     m_fx.open(30),
                 qPrintable(m_fx.error()));
        m_client = m_fx.client();
        QApplication::setActiveWindow(m_client);
        QVERIFY(QTest::qWaitForWindowActive(m_client));
    }

    void searchResultShowsItsCriteriaAndCount()
    {
        QTest::mouseClick(child<QPushButton>("filterBtn"), Qt::LeftButton);
        const QString strFrom =
            QDateTime::fromMSecsSinceEpoch(m_nAlarmMs - 3600000).toString("yyyy-MM-dd hh:mm:ss");
        const QString strTo =
            QDateTime::fromMSecsSinceEpoch(m_nAlarmMs + 3600000).toString("yyyy-MM-dd hh:mm:ss");
        child<QLabel>("fromTimeLab")->setText(strFrom);
        child<QLabel>("reachTimeLab")->setText(strTo);
        QTest::mouseClick(child<QPushButton>("filterOkBtn"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(child<QTabWidget>("leftTabWidget")->currentIndex(), 5, kWaitMs);

        QTextDocument shown;
        shown.setHtml(child<QLabel>("searchCriteriaLab")->text());
        const QString strShown = shown.toPlainText();
        QVERIFY2(strShown.contains(strFrom + " 至 " + strTo), qPrintable(strShown));
        QVERIFY2(strShown.contains("全部设备"), qPrintable(strShown));
        QVERIFY2(strShown.contains("状态：全部"), qPrintable(strShown));
        QVERIFY2(strShown.contains(QString("共 %1 条").arg(kAlarms)), qPrintable(strShown));

        QTest::mouseClick(child<QPushButton>("backMsgListBtn2"), Qt::LeftButton);
        QCOMPARE(child<QTabWidget>("leftTabWidget")->currentIndex(), 0);
    }

    void arrowKeysOpenMessagesAsPressesDo()
    {
        CListCtrl* pList = unreadList();
        pList->setFocus();
        QVERIFY(pList->hasFocus());
        // The focus is shown by a frame of the module's accent colour.
        const QImage focused = pList->grab().toImage();
        QCOMPARE(QColor(focused.pixel(0, focused.height() / 2)), QColor("#6186ff"));
        clearRequests();
        const std::vector<CAlarmMsgWnd*> rows = pList->ShownRows();

        key(Qt::Key_Down);
        QCOMPARE(pList->CurrentRow(), rows[0]);
        QCOMPARE(detailPage(), QString("detailPage"));
        QCOMPARE(shownTime(), rows[0]->GetAlarmInfo().alarmTimeText);
        key(Qt::Key_Down);
        QCOMPARE(pList->CurrentRow(), rows[1]);
        QCOMPARE(shownTime(), rows[1]->GetAlarmInfo().alarmTimeText);
        key(Qt::Key_Up);
        QCOMPARE(pList->CurrentRow(), rows[0]);
        QCOMPARE(shownTime(), rows[0]->GetAlarmInfo().alarmTimeText);
        key(Qt::Key_Up); // the top: stays
        QCOMPARE(pList->CurrentRow(), rows[0]);

        // Each message was read once, as a press reads it.
        QCOMPARE(child<QTabWidget>("resTab")->tabText(1), QString("未读(%1)").arg(kAlarms - 2));
        QTRY_COMPARE_WITH_TIMEOUT(requests("/api/msg/update/read").size(), 2, kWaitMs);
        QSet<QString> reads;
        for (const QJsonValue request : requests("/api/msg/update/read")) {
            reads << request.toObject().value("body").toString();
        }
        QCOMPARE(reads, (QSet<QString>{QString("{\"id\":%1}").arg(rows[0]->GetMsgId()),
                                       QString("{\"id\":%1}").arg(rows[1]->GetMsgId())}));
        QVERIFY(pList->hasFocus());
        pList->clearFocus();
        const QImage unfocused = pList->grab().toImage();
        QVERIFY(QColor(unfocused.pixel(0, unfocused.height() / 2)) != QColor("#6186ff"));
        pList->setFocus();
    }

    void pageKeysPageAndTheKeysComeBack()
    {
        CListCtrl* pList = unreadList();
        pList->setFocus();
        QLabel* pPage = child<QLabel>("pageLab");
        QCOMPARE(pPage->text(), QString("1/2"));
        // What is left unread after the messages read so far.
        const QString strTab = child<QTabWidget>("resTab")->tabText(1);
        const int nUnread = strTab.mid(3, strTab.size() - 4).toInt();
        QVERIFY(nUnread > 30);
        const struct
        {
            Qt::Key eKey;
            const char* szPage;
            int nRows;
        } steps[] = {{Qt::Key_PageDown, "2/2", nUnread - 30},
                     {Qt::Key_PageUp, "1/2", 30},
                     {Qt::Key_End, "2/2", nUnread - 30},
                     {Qt::Key_Home, "1/2", 30}};
        for (const auto& step : steps) {
            key(step.eKey);
            QTRY_COMPARE_WITH_TIMEOUT(pPage->text(), QString(step.szPage), kWaitMs);
            QTRY_VERIFY_WITH_TIMEOUT(!pList->IsBusy() && int(pList->ShownRows().size()) == step.nRows,
                                     kWaitMs);
            QTRY_VERIFY(pList->hasFocus());
        }
    }

    void deleteKeyAsksAndOpensTheNextMessage()
    {
        CListCtrl* pList = unreadList();
        clickRow(2);
        QVERIFY(pList->hasFocus());
        CAlarmMsgWnd* pDoomed = pList->ShownRows()[2];
        const int nDoomed = pDoomed->GetMsgId();
        const QString strNextTime = pList->ShownRows()[3]->GetAlarmInfo().alarmTimeText;
        QCOMPARE(pList->CurrentRow(), pDoomed);
        clearRequests();

        QString strAsked;
        acceptNextBox(&strAsked);
        key(Qt::Key_Delete);
        QCOMPARE(strAsked, QString("确定删除该消息吗？"));
        QCOMPARE(int(pList->ShownRows().size()), 29);
        QCOMPARE(pList->CurrentRow(), pList->ShownRows()[2]);
        QCOMPARE(shownTime(), strNextTime);
        QTRY_COMPARE_WITH_TIMEOUT(requests("/api/msg/delete").size(), 1, kWaitMs);
        QCOMPARE(requests("/api/msg/delete").at(0).toObject().value("body").toString(),
                 QString("{\"id\":%1}").arg(nDoomed));
        QTRY_COMPARE_WITH_TIMEOUT(tipText(), QString("删除成功"), kWaitMs);
    }

    void detailDeleteOpensTheNextMessageInPlace()
    {
        CListCtrl* pList = unreadList();
        QScrollBar* pScroll = pList->verticalScrollBar();
        pScroll->setValue(pScroll->maximum() / 2);
        const int nIndex = pList->row(pList->itemAt(pList->viewport()->rect().center()));
        QVERIFY(nIndex > 0 && nIndex + 1 < pList->count());
        clickRow(nIndex);
        const int nScroll = pScroll->value();
        const int nDoomed = pList->ShownRows()[static_cast<size_t>(nIndex)]->GetMsgId();
        const QString strNextTime =
            pList->ShownRows()[static_cast<size_t>(nIndex) + 1]->GetAlarmInfo().alarmTimeText;
        clearRequests();

        QString strAsked;
        acceptNextBox(&strAsked);
        QTest::mouseClick(child<QPushButton>("delMsgBut"), Qt::LeftButton);
        QCOMPARE(strAsked, QString("确定删除该消息吗？"));
        QCOMPARE(detailPage(), QString("detailPage"));
        QCOMPARE(shownTime(), strNextTime);
        QCOMPARE(pList->CurrentRow(), pList->ShownRows()[static_cast<size_t>(nIndex)]);
        QCOMPARE(pScroll->value(), nScroll);
        QTRY_COMPARE_WITH_TIMEOUT(requests("/api/msg/delete").size(), 1, kWaitMs);
        QCOMPARE(requests("/api/msg/delete").at(0).toObject().value("body").toString(),
                 QString("{\"id\":%1}").arg(nDoomed));
        QTRY_COMPARE_WITH_TIMEOUT(tipText(), QString("删除成功"), kWaitMs);
    }

    void theRowOpenWhenTheHostHidTheModuleOpensAgain()
    {
        clickRow(0);
        QCOMPARE(detailPage(), QString("detailPage"));
        m_client->ChangeHideModule(0);
        QCOMPARE(detailPage(), QString("orgPage"));
        m_client->ChangeShowModule(0);
        clickRow(0);
        QCOMPARE(detailPage(), QString("detailPage"));
    }

    void playbackKeys()
    {
        CListCtrl* pList = unreadList();
        clickRow(0);
        QTest::mouseClick(child<QPushButton>("plyBut"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(bar()->isVisible(), kWaitMs);
        // The bar is a window of its own, and may have been activated: it takes
        // the keys as the window does.
        QTest::keyClick(bar(), Qt::Key_Space);
        QVERIFY(worker()->IsPaused());
        QTest::keyClick(bar(), Qt::Key_Space);
        QVERIFY(!worker()->IsPaused());
        // From the list they reach the window.
        QApplication::setActiveWindow(m_client);
        QTRY_VERIFY(pList->hasFocus());
        key(Qt::Key_Space);
        QVERIFY(worker()->IsPaused());
        key(Qt::Key_Space);
        QVERIFY(!worker()->IsPaused());

        auto* pSlider = bar()->findChild<CusSlider*>();
        for (const int nStep : {CusSliderWnd::kSeekStepSeconds, -CusSliderWnd::kSeekStepSeconds}) {
            // A step back needs room behind the handle.
            QTRY_VERIFY_WITH_TIMEOUT(pSlider->value() >= CusSliderWnd::kSeekStepSeconds, kWaitMs);
            clearRequests();
            const QString strExpected = searchStartPlus(pSlider->value() + nStep);
            key(nStep > 0 ? Qt::Key_Right : Qt::Key_Left);
            QTRY_COMPARE_WITH_TIMEOUT(lastStreamStart(), strExpected, kWaitMs);
            QTRY_VERIFY_WITH_TIMEOUT(worker()->IsRecordPlaying(), kWaitMs);
        }

        QSignalSpy fullScreen(m_client, &MessageClient::sig_FullScreen);
        key(Qt::Key_F);
        QCOMPARE(fullScreen.size(), 1);
        QCOMPARE(fullScreen.at(0).at(0).toBool(), true);
        QVERIFY(!child<QWidget>("leftFrame")->isVisible());
        QTest::keyClick(m_client, Qt::Key_Escape);
        QCOMPARE(fullScreen.size(), 2);
        QCOMPARE(fullScreen.at(1).at(0).toBool(), false);
        QVERIFY(child<QWidget>("leftFrame")->isVisible());

        // Keys that are not the clip's go from the bar to the list.
        const QString strNextTime = pList->ShownRows()[1]->GetAlarmInfo().alarmTimeText;
        pList->setFocus();
        QTest::keyClick(bar(), Qt::Key_Down);
        QCOMPARE(shownTime(), strNextTime);
    }
};

QTEST_MAIN(TestKeys)
#include "tst_keys.moc"
