// The message lists against the platform simulator and a real host process:
// start-up, pressing rows, paging past deleted messages, mark-all-read and
// batch deletion, as the operator meets them.
#include "ModuleLaunch.h"

#include "alarms/AlarmShared.h"
#include "alarms/CAlarmMsgWnd.h"
#include "alarms/CListCtrl.h"
#include "alarms/CPasswdInputWnd.h"
#include "platform/PermissionTable.h"
#include "shell/LaunchValues.h"
#include "shell/MessageClient.h"
#include "shell/ProcessEnd.h"
#include "widgets/CMsgBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QJsonArray>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

class TestMessageLists : public QObject
{
    Q_OBJECT
private:
    HostProcess m_host;
    QTemporaryDir m_dir;
    std::unique_ptr<SimulatorProcess> m_sim;
    std::unique_ptr<MessageClient> m_client;

    // A simulator with nUnread fresh unread alarms and a window started on it;
    // fnBefore runs on the simulator before the window starts.
    void start(int nUnread, const std::function<void(SimulatorProcess&)>& fnBefore = {})
    {
        m_client.reset();
        m_sim = std::make_unique<SimulatorProcess>(QStringList{"--seed", "none"});
        QVERIFY2(m_sim->start(), qPrintable(m_sim->errorString()));
        if (nUnread > 0) {
            QCOMPARE(m_sim->addAlarm({{"count", nUnread}, {"push", false}}).size(), nUnread);
        }
        const bool bVideo = static_cast<bool>(fnBefore);
        if (fnBefore) {
            qputenv("PAVRIX_CLOUD_URL", m_sim->cloudUrl().toUtf8());
            qputenv("PAVRIX_CA_FILE", m_sim->caFile().toUtf8());
            fnBefore(*m_sim);
        }
        LaunchValues::reset();
        PermissionTable().clear();
        DeleteIdList().clear();
        m_client = std::make_unique<MessageClient>(
            ModuleLaunchString(m_host, *m_sim, WriteModuleConfig(m_dir.path(), *m_sim), bVideo));
        m_client->resize(1296, 721);
        m_client->show();
    }

    // The next list request is answered with this page (after delayMs).
    void cannedPage(const QString& strRecords, int nTotal, int nDelayMs = 0)
    {
        m_sim->admin("POST", "/admin/faults",
                     {{"path", "/api/msg/list"},
                      {"status", 200},
                      {"delayMs", nDelayMs},
                      {"count", 1},
                      {"body", QString("{\"code\":\"200\",\"data\":[%1],\"page\":{\"pageNo\":1,\"size\":30,"
                                       "\"total\":%2}}")
                                   .arg(strRecords)
                                   .arg(nTotal)}});
    }

    void closeMenus(CListCtrl* pList)
    {
        for (QMenu* pMenu : pList->findChildren<QMenu*>()) {
            pMenu->close();
        }
        QTRY_VERIFY(pList->findChildren<QMenu*>().isEmpty());
    }

    CListCtrl* list(const char* szPage) const
    {
        return m_client->findChild<QWidget*>(szPage)->findChild<CListCtrl*>();
    }
    template <typename T>
    T* child(const char* szName) const
    {
        return m_client->findChild<T*>(szName);
    }
    QString unreadTabText() const { return child<QTabWidget>("resTab")->tabText(1); }

    int requestCount(const QString& strPath) const { return m_sim->lastRequests(strPath, 100).size(); }

    void pressRow(CListCtrl* pList, int nRow) { emit pList->pressed(pList->model()->index(nRow, 0)); }

    QMenu* openMenuOnRow(CListCtrl* pList, int nRow)
    {
        const QRect rect = pList->visualItemRect(pList->item(nRow));
        QTest::mouseClick(pList->viewport(), Qt::RightButton, Qt::NoModifier, rect.center());
        return pList->findChild<QMenu*>();
    }

    static QAction* action(QMenu* pMenu, const QString& strText)
    {
        for (QAction* pAction : pMenu->actions()) {
            if (pAction->text() == strText) {
                return pAction;
            }
        }
        return nullptr;
    }

private slots:
    void initTestCase()
    {
        SetModuleProcessEnd([] {});
        QVERIFY(m_host.start(false));
    }

    void cleanup() { m_client.reset(); }

    void startUpShowsTheUnreadPageAndTellsTheHost()
    {
        const int nFrom = m_host.lines().size();
        start(61);
        CListCtrl* pUnread = list("notReadListTab");
        QTRY_COMPARE_WITH_TIMEOUT(int(pUnread->ShownRows().size()), 30, 10000);
        QCOMPARE(unreadTabText(), QString("未读(61)"));
        QCOMPARE(child<QStackedWidget>("notReadResultTab")->currentIndex(), 1);
        QCOMPARE(child<QLabel>("pageLab")->text(), QString("1/3"));
        QVERIFY(!child<QPushButton>("prePageBtn")->isEnabled());
        QVERIFY(child<QPushButton>("nextPageBtn")->isEnabled());
        const int nLine = m_host.waitForLine("MSG 2054", 5000, nFrom);
        QVERIFY(nLine >= 0);
        QVERIFY2(m_host.lines().at(nLine).startsWith("MSG 2054 w=3 l=61 posted"),
                 qPrintable(m_host.lines().at(nLine)));

        // Paging on asks for page 2; on the last page next only disables itself.
        child<QPushButton>("lastPageBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>("pageLab")->text(), QString("3/3"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(int(pUnread->ShownRows().size()), 1, 10000);
        const int nLists = requestCount("/api/msg/list");
        child<QPushButton>("nextPageBtn")->setEnabled(true);
        child<QPushButton>("nextPageBtn")->click();
        QTest::qWait(300);
        QCOMPARE(requestCount("/api/msg/list"), nLists);
        QVERIFY(!child<QPushButton>("nextPageBtn")->isEnabled());
        QVERIFY(!child<QPushButton>("lastPageBtn")->isEnabled());
    }

    void pressingAnUnreadRowReadsItOnce()
    {
        start(3);
        CListCtrl* pUnread = list("notReadListTab");
        QTRY_COMPARE_WITH_TIMEOUT(int(pUnread->ShownRows().size()), 3, 10000);
        CAlarmMsgWnd* pRow = pUnread->ShownRows().at(1);
        QSignalSpy pressed(pUnread, &CListCtrl::sigItemPressed);
        pressRow(pUnread, 1);
        pressRow(pUnread, 1); // the selected row again: nothing
        QCOMPARE(pressed.size(), 1);
        QCOMPARE(pressed.at(0).at(1).toInt(), 0);
        QVERIFY(pRow->IsRead());
        QCOMPARE(unreadTabText(), QString("未读(2)"));
        QTRY_COMPARE_WITH_TIMEOUT(requestCount("/api/msg/update/read"), 1, 10000);
        QTest::qWait(200);
        QCOMPARE(requestCount("/api/msg/update/read"), 1);
        QCOMPARE(m_sim->lastRequests("/api/msg/update/read").at(0).toObject().value("body").toString(),
                 QString("{\"id\":%1}").arg(pRow->GetMsgId()));
        // The details of the pressed message are shown.
        QCOMPARE(child<QStackedWidget>("rghtStkWgt")->currentWidget()->objectName(), QString("detailPage"));
    }

    void aDeletedLastPageAsksForTheNewLastPage()
    {
        start(61);
        QTRY_COMPARE_WITH_TIMEOUT(int(list("notReadListTab")->ShownRows().size()), 30, 10000);
        child<QTabWidget>("resTab")->setCurrentIndex(0);
        CListCtrl* pAll = list("allResListTab");
        QTRY_COMPARE_WITH_TIMEOUT(int(pAll->ShownRows().size()), 30, 10000);
        child<QPushButton>("lastPageBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(int(pAll->ShownRows().size()), 1, 10000);
        QCOMPARE(child<QLabel>("pageLab")->text(), QString("3/3"));

        // The only message of page 3 goes; asking for page 3 again lands on page 2.
        pAll->HttpDeleteMsg(pAll->ShownRows().at(0)->GetMsgId());
        QTRY_COMPARE_WITH_TIMEOUT(requestCount("/api/msg/delete"), 1, 10000);
        m_sim->admin("POST", "/admin/requests/clear");
        HTTPMSG_BODY body;
        body.pageNo = 3;
        m_client->OnGetMsgList(0, body);
        QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>("pageLab")->text(), QString("2/2"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(int(pAll->ShownRows().size()), 30, 5000);
        const QJsonArray lists = m_sim->lastRequests("/api/msg/list");
        QCOMPARE(lists.size(), 2);
        QVERIFY(lists.at(1).toObject().value("body").toString().contains("\"pageNo\":2"));
    }

    void markAllReadEmptiesTheUnreadListWithoutAskingForIt()
    {
        start(5);
        CListCtrl* pUnread = list("notReadListTab");
        QTRY_COMPARE_WITH_TIMEOUT(int(pUnread->ShownRows().size()), 5, 10000);
        QMenu* pMenu = openMenuOnRow(pUnread, 0);
        QVERIFY(pMenu);
        QCOMPARE(pMenu->actions().size(), 5);
        const int nLists = requestCount("/api/msg/list");
        action(pMenu, "全部标记为已读")->trigger();
        QCOMPARE(unreadTabText(), QString("未读(0)"));
        QTRY_COMPARE_WITH_TIMEOUT(int(pUnread->ShownRows().size()), 0, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(requestCount("/api/msg/update/read/all"), 1, 10000);
        QTest::qWait(300);
        QCOMPARE(requestCount("/api/msg/list"), nLists);

        // Only the very first answer may send an operator without unread
        // messages to 全部: having read them all, the operator stays.
        cannedPage("", 0);
        child<QPushButton>("NotReadMsgFreshBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(child<QStackedWidget>("notReadResultTab")->currentIndex(), 0, 10000);
        QCOMPARE(child<QTabWidget>("resTab")->currentIndex(), 1);
    }

    void batchDeletion()
    {
        start(6);
        CListCtrl* pUnread = list("notReadListTab");
        QTRY_COMPARE_WITH_TIMEOUT(int(pUnread->ShownRows().size()), 6, 10000);
        action(openMenuOnRow(pUnread, 0), "批量删除")->trigger();
        QVERIFY(child<QWidget>("deleteByQueueBotFrame")->isVisible());

        // Nothing ticked: the operator is told, nothing is sent.
        QString strAsked;
        QTimer::singleShot(100, [&strAsked] {
            if (auto* pBox = qobject_cast<CMsgBox*>(QApplication::activeModalWidget())) {
                strAsked = pBox->findChild<QLabel*>("msgtext")->text();
                pBox->findChild<QPushButton*>("okbtn")->click();
            }
        });
        child<QPushButton>("deleteOkBtn")->click();
        QCOMPARE(strAsked, QString("请选中要删除的消息"));

        // Ticking every row ticks the select-all box; one less clears it.
        for (CAlarmMsgWnd* pRow : pUnread->ShownRows()) {
            pRow->SetChecked(true);
        }
        QVERIFY(child<QCheckBox>("selectAllCheck")->isChecked());
        pUnread->ShownRows().at(5)->SetChecked(false);
        QVERIFY(!child<QCheckBox>("selectAllCheck")->isChecked());
        for (int i = 2; i < 5; ++i) {
            pUnread->ShownRows().at(static_cast<size_t>(i))->SetChecked(false);
        }
        QCOMPARE(child<QPushButton>("deleteOkBtn")->text(), QString("删除 (2)"));
        const QList<int> ids = DeleteIdList();

        // Two ids: the list asks again only after the platform had a moment.
        QTimer::singleShot(100, [&strAsked] {
            if (auto* pBox = qobject_cast<CMsgBox*>(QApplication::activeModalWidget())) {
                strAsked = pBox->findChild<QLabel*>("msgtext")->text();
                pBox->findChild<QPushButton*>("okbtn")->click();
            }
        });
        m_sim->admin("POST", "/admin/requests/clear");
        child<QPushButton>("deleteOkBtn")->click();
        QCOMPARE(strAsked, QString("确定删除选中的2条消息？"));
        QTRY_COMPARE_WITH_TIMEOUT(requestCount("/api/msg/delete/batch"), 1, 10000);
        QCOMPARE(m_sim->lastRequests("/api/msg/delete/batch").at(0).toObject().value("body").toString(),
                 QString("{\"clientType\":4,\"ids\":[%1,%2]}").arg(ids.at(0)).arg(ids.at(1)));
        QTest::qWait(300);
        QCOMPARE(requestCount("/api/msg/list"), 0);
        QTRY_COMPARE_WITH_TIMEOUT(requestCount("/api/msg/list"), 1, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(unreadTabText(), QString("未读(4)"), 10000);
        QVERIFY(DeleteIdList().isEmpty());
        QVERIFY(!child<QWidget>("deleteByQueueBotFrame")->isVisible());
    }

    // A request times out, the operator presses 刷新, and the old answer
    // comes while the new request is out: only the new answer is shown.
    void timedOutReplyNeverFillsTheListOverTheRetry()
    {
        start(3);
        QTRY_COMPARE_WITH_TIMEOUT(int(list("notReadListTab")->ShownRows().size()), 3, 10000);
        child<QTabWidget>("resTab")->setCurrentIndex(0);
        CListCtrl* pAll = list("allResListTab");
        QTRY_VERIFY_WITH_TIMEOUT(pAll->ShownRows().size() == 3 && !pAll->IsBusy(), 10000);
        QList<QList<int>> updates; // ids of each update as it completes
        connect(pAll, &CListCtrl::sigListIsSetAllChecked, this, [pAll, &updates] {
            updates << QList<int>();
            for (const CAlarmMsgWnd* pRow : pAll->ShownRows()) {
                updates.last() << pRow->GetMsgId();
            }
        });
        m_client->SetRequestTimeout(300);
        cannedPage("{\"id\":999,\"isRead\":1}", 1, 1500);
        m_client->OnGetMsgList(0, HTTPMSG_BODY());
        QTRY_COMPARE_WITH_TIMEOUT(child<QStackedWidget>("allResultTab")->currentIndex(), 3, 5000);
        // The retry is slower than the old answer.
        m_client->SetRequestTimeout(10000);
        QVERIFY(m_sim->setFault("/api/msg/list", 0, 2500, false, 1));
        child<QPushButton>("AllMsgFreshBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!updates.isEmpty(), 10000);
        QCOMPARE(updates.size(), 1);
        QCOMPARE(updates.at(0).size(), 3);
        QVERIFY(!updates.at(0).contains(999));
        QCOMPARE(child<QStackedWidget>("allResultTab")->currentIndex(), 1);
    }

    // The code dialog's event loop runs over a pressed row while a new page
    // replaces the row: when the dialog goes, nothing writes through it.
    void listReplyWhileTheCodeDialogIsOpenOverThePressedRow()
    {
        start(0, [](SimulatorProcess& sim) {
            // An encrypted picture the library cannot fetch: pressing the row
            // asks the operator for the code.
            // and one more, so that the new page still has a row after the
            // press has read this one.
            sim.addAlarm({{"deviceSerial", "PV1000001"}, {"channelNo", 1}, {"push", false}});
            sim.addAlarm({{"deviceSerial", "PV1000002"}, {"channelNo", 1}, {"push", false}});
            QVERIFY(sim.setFault("/pictures/*", 500));
        });
        CListCtrl* pUnread = list("notReadListTab");
        QTRY_COMPARE_WITH_TIMEOUT(int(pUnread->ShownRows().size()), 2, 10000);
        QPointer<CAlarmMsgWnd> pRow = pUnread->ShownRows().at(0); // the newest: the encrypted one
        QCOMPARE(pRow->GetAlarmInfo().deviceSerial, std::string("PV1000002"));
        QTRY_VERIFY_WITH_TIMEOUT(pRow->IsPicReqFinished(), 15000);
        QVERIFY(!pRow->IsPicFailed());

        bool bAsked = false;
        QElapsedTimer elapsed;
        elapsed.start();
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* pDialog = qobject_cast<CPasswdInputWnd*>(QApplication::activeModalWidget());
            if (!pDialog) {
                return;
            }
            if (!bAsked) {
                bAsked = true;
                HTTPMSG_BODY body;
                body.isRead = 0;
                m_client->OnGetMsgList(1, body);
            } else if ((pRow.isNull() && !pUnread->IsBusy()) || elapsed.elapsed() > 15000) {
                poll.stop();
                pDialog->findChild<QPushButton*>("CancelBtn")->click();
            }
        });
        poll.start(20);
        pressRow(pUnread, 0); // returns when the dialog has gone
        QVERIFY(bAsked);
        QVERIFY(pRow.isNull());
        CAlarmMsgWnd* pCurrent = pUnread->CurrentRow();
        QVERIFY(!pCurrent ||
                std::count(pUnread->ShownRows().begin(), pUnread->ShownRows().end(), pCurrent) == 1);
    }

    // Deletion mode on the all list, then the new-message tip switches to the
    // unread list: the mode ends on both, nothing stays hidden or swallowed.
    void switchingListsEndsDeletionMode()
    {
        start(3);
        CListCtrl* pUnread = list("notReadListTab");
        QTRY_COMPARE_WITH_TIMEOUT(int(pUnread->ShownRows().size()), 3, 10000);
        child<QTabWidget>("resTab")->setCurrentIndex(0);
        CListCtrl* pAll = list("allResListTab");
        QTRY_VERIFY_WITH_TIMEOUT(pAll->ShownRows().size() == 3 && !pAll->IsBusy(), 10000);
        action(openMenuOnRow(pAll, 0), "批量删除")->trigger();
        closeMenus(pAll);
        pAll->ShownRows().at(1)->SetChecked(true);
        QVERIFY(pAll->IsDeletionMode());

        m_client->GetAlarmMsg();
        child<QPushButton>("newMsgBtn")->click();
        QCOMPARE(child<QTabWidget>("resTab")->currentIndex(), 1);
        QVERIFY(!pAll->IsDeletionMode() && !pUnread->IsDeletionMode());
        QVERIFY(DeleteIdList().isEmpty());
        QVERIFY(child<QTabWidget>("resTab")->tabBar()->isVisible());
        QVERIFY(!child<QWidget>("deleteByQueueBotFrame")->isVisible());
        QVERIFY(!child<QWidget>("selectAllFrame")->isVisible());

        QTRY_VERIFY_WITH_TIMEOUT(!pUnread->IsBusy() && pUnread->ShownRows().size() == 3, 10000);
        QVERIFY(openMenuOnRow(pUnread, 0));
        closeMenus(pUnread);
        child<QTabWidget>("resTab")->setCurrentIndex(0);
        QTRY_VERIFY_WITH_TIMEOUT(!pAll->IsBusy() && pAll->ShownRows().size() == 3, 10000);
        QVERIFY(!pAll->ShownRows().at(1)->IsChecked());
        QVERIFY(openMenuOnRow(pAll, 0));
        closeMenus(pAll);
    }

    // A search answered by an error is over: "重试" sends at once, and after
    // "返回" no stale time-out pulls the operator back to the error page.
    void searchErrorEndsTheSearch()
    {
        start(1);
        QTRY_COMPARE_WITH_TIMEOUT(int(list("notReadListTab")->ShownRows().size()), 1, 10000);
        auto* pLeft = child<QTabWidget>("leftTabWidget");
        m_client->SetRequestTimeout(5000);
        QVERIFY(m_sim->setFault("/api/msg/list", 503, 0, false, 1));
        pLeft->setCurrentIndex(1);
        child<QPushButton>("filterOkBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(pLeft->currentIndex(), 3, 5000);
        const int nLists = requestCount("/api/msg/list");
        child<QPushButton>("searchRetryBtn")->click();
        QCOMPARE(pLeft->currentIndex(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(requestCount("/api/msg/list"), nLists + 1, 4000);
        QTRY_COMPARE_WITH_TIMEOUT(pLeft->currentIndex(), 5, 5000);

        m_client->SetRequestTimeout(300);
        QVERIFY(m_sim->setFault("/api/msg/list", 503, 0, false, 1));
        pLeft->setCurrentIndex(1);
        child<QPushButton>("filterOkBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(pLeft->currentIndex(), 3, 5000);
        child<QPushButton>("backMsgListBtn_4")->click();
        QCOMPARE(pLeft->currentIndex(), 0);
        // A request sent now with a longer time-out runs out after the
        // search's would have.
        m_client->SetRequestTimeout(900);
        QVERIFY(m_sim->setFault("/api/msg/list", 0, 3000, false, 1));
        m_client->OnGetMsgList(0, HTTPMSG_BODY());
        QTRY_COMPARE_WITH_TIMEOUT(child<QStackedWidget>("allResultTab")->currentIndex(), 3, 5000);
        QCOMPARE(pLeft->currentIndex(), 0);
    }

    // The detail picture follows the pressed message: one whose picture
    // address names no known encryption shows no picture, not the last one.
    void detailDropsThePictureOfTheLastMessage()
    {
        start(1);
        CListCtrl* pUnread = list("notReadListTab");
        QTRY_COMPARE_WITH_TIMEOUT(int(pUnread->ShownRows().size()), 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(pUnread->ShownRows().at(0)->HasPic(), 10000);
        pressRow(pUnread, 0);
        auto* pPicture = child<QWidget>("picNtRtyWgt")->findChild<QLabel*>("picLab"); // not a row's
        QVERIFY(!pPicture->pixmap(Qt::ReturnByValue).isNull());

        cannedPage("{\"id\":77,\"isRead\":1,\"picUrl\":\"https://127.0.0.1:1/p.jpg?a=1&isEncrypted=2\"}", 1);
        child<QPushButton>("NotReadMsgFreshBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!pUnread->IsBusy() && pUnread->ShownRows().size() == 1 &&
                                     pUnread->ShownRows().at(0)->GetMsgId() == 77,
                                 10000);
        pressRow(pUnread, 0);
        QVERIFY(pPicture->pixmap(Qt::ReturnByValue).isNull());
    }

    // The hidden copy of the selection reports its picture after a refresh;
    // the window renews the copy, but never under the copy's own signal.
    void selectionCopyOutlivesItsOwnSignal()
    {
        start(1, [](SimulatorProcess& sim) { QVERIFY(sim.setFault("/pictures/*", 500)); });
        CListCtrl* pUnread = list("notReadListTab");
        QTRY_COMPARE_WITH_TIMEOUT(int(pUnread->ShownRows().size()), 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(pUnread->ShownRows().at(0)->IsPicFailed(), 10000);
        const int nId = pUnread->ShownRows().at(0)->GetMsgId();
        pressRow(pUnread, 0);
        auto* pRefresh = child<QPushButton>("refshPicPushBut");
        QVERIFY(pRefresh->isVisible());
        pRefresh->click();
        const auto copies = m_client->findChildren<CAlarmMsgWnd*>(QString(), Qt::FindDirectChildrenOnly);
        QCOMPARE(copies.size(), 1);
        QPointer<CAlarmMsgWnd> pCopy = copies.at(0);
        QTRY_VERIFY_WITH_TIMEOUT(pCopy->IsPicReqFinished(), 10000);
        emit pCopy->sigMsgPicUpdate(nId, 0); // ends the refresh
        emit pCopy->sigMsgPicUpdate(nId, 0); // renews the copy from the pressed row
        QVERIFY(!pCopy.isNull());
        QTRY_VERIFY(pCopy.isNull());
        QCOMPARE(m_client->findChildren<CAlarmMsgWnd*>(QString(), Qt::FindDirectChildrenOnly).size(), 1);
    }
};

QTEST_MAIN(TestMessageLists)
#include "tst_messagelists.moc"
