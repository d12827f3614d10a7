// The message lists against the platform simulator and a real host process:
// start-up, pressing rows, paging past deleted messages, mark-all-read and
// batch deletion, as the operator meets them.
#include "ModuleLaunch.h"

#include "alarms/AlarmShared.h"
#include "alarms/CAlarmMsgWnd.h"
#include "alarms/CListCtrl.h"
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
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

class TestMessageLists : public QObject
{
    Q_OBJECT
private:
    HostProcess m_host;
    QTemporaryDir m_dir;
    std::unique_ptr<SimulatorProcess> m_sim;
    std::unique_ptr<MessageClient> m_client;

    // A simulator with nUnread fresh unread alarms and a window started on it.
    void start(int nUnread)
    {
        m_client.reset();
        m_sim = std::make_unique<SimulatorProcess>(QStringList{"--seed", "none"});
        QVERIFY2(m_sim->start(), qPrintable(m_sim->errorString()));
        if (nUnread > 0) {
            QCOMPARE(m_sim->addAlarm({{"count", nUnread}, {"push", false}}).size(), nUnread);
        }
        LaunchValues::reset();
        PermissionTable().clear();
        DeleteIdList().clear();
        m_client = std::make_unique<MessageClient>(
            ModuleLaunchString(m_host, *m_sim, WriteModuleConfig(m_dir.path(), *m_sim)));
        m_client->resize(1296, 721);
        m_client->show();
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
        QCOMPARE(pMenu->actions().size(), 4);
        const int nLists = requestCount("/api/msg/list");
        action(pMenu, "全部标记为已读")->trigger();
        QCOMPARE(unreadTabText(), QString("未读(0)"));
        QTRY_COMPARE_WITH_TIMEOUT(int(pUnread->ShownRows().size()), 0, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(requestCount("/api/msg/update/read/all"), 1, 10000);
        QTest::qWait(300);
        QCOMPARE(requestCount("/api/msg/list"), nLists);
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
};

QTEST_MAIN(TestMessageLists)
#include "tst_messagelists.moc"
