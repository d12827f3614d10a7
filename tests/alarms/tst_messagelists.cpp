// The message lists against the simulator and a real host: the orders that used to go wrong, every
// row's own picture through fast paging and the snapshot cache, rows gone while their picture comes.
#include "ModuleFixture.h"

#include "alarms/AlarmShared.h"
#include "alarms/CAlarmMsgWnd.h"
#include "alarms/CPasswdInputWnd.h"
#include "alarms/CPicJob.h"
#include "alarms/CPicLoad.h"
#include "alarms/CSnapCache.h"
#include "platform/PermissionTable.h"
#include "playback/CVideoSdk.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

#include <functional>

constexpr int kWaitMs = 30000;

class TestMessageLists : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<ModuleFixture> m_fx;
    SimulatorProcess* m_sim = nullptr;
    QTemporaryDir m_cacheDir;

    // A simulator with nUnread fresh unread alarms; fnBefore sets up more and brings video.
    void startSim(int nUnread, const std::function<void(SimulatorProcess&)>& fnBefore = nullptr,
                  const QString& strCfgExtra = QString())
    {
        m_fx = std::make_unique<ModuleFixture>();
        m_sim = &m_fx->sim;
        const QJsonObject unread{{"count", nUnread}, {"push", false}};
        QVERIFY2(m_fx->start(nUnread > 0 ? QList<QJsonObject>{unread} : QList<QJsonObject>(), bool(fnBefore)),
                 qPrintable(m_fx->error()));
        if (fnBefore)
            fnBefore(*m_sim);
        openWindow(strCfgExtra, fnBefore ? -1 : nUnread);
    }
    // Opens the window; with nRows >= 0, waits until the unread list shows that many.
    void openWindow(const QString& strCfgExtra, int nRows = -1)
    {
        PermissionTable().clear();
        DeleteIdList().clear();
        QVERIFY2(m_fx->open(nRows, strCfgExtra), qPrintable(m_fx->error()));
    }
    // The next list request is answered with this page (after nDelayMs).
    void cannedPage(const QString& strRecords, int nTotal, int nDelayMs = 0)
    {
        const QString strBody = R"({"code":"200","data":[%1],"page":{"pageNo":1,"size":30,"total":%2}})";
        QVERIFY(
            m_sim->setFault("/api/msg/list", 200, nDelayMs, false, 1, strBody.arg(strRecords).arg(nTotal)));
    }

    template <typename T = QWidget>
    T* child(const char* szName) const
    {
        return m_fx->child<T>(szName);
    }
    CListCtrl* unread() const { return m_fx->unreadList(); }
    CListCtrl* all() const { return m_fx->allList(); }
    QList<CAlarmMsgWnd*> copies() const
    {
        return m_fx->client()->findChildren<CAlarmMsgWnd*>(QString(), Qt::FindDirectChildrenOnly);
    }
    bool shows(CListCtrl* p, int n) const
    {
        return !p->IsBusy() && int(p->ShownRows().size()) == n;
    } // The all list, shown and settled with nRows.
    void showAll(int nRows)
    {
        child<QTabWidget>("resTab")->setCurrentIndex(0);
        QTRY_VERIFY_WITH_TIMEOUT(shows(all(), nRows), kWaitMs);
    }
    void pressRow(CListCtrl* pList, int nRow) { emit pList->pressed(pList->model()->index(nRow, 0)); }
    // Right-clicks the row and chooses the entry of its menu.
    void chooseFromMenu(CListCtrl* pList, int nRow, const QString& strEntry)
    {
        QTest::mouseClick(pList->viewport(), Qt::RightButton, {},
                          pList->visualItemRect(pList->item(nRow)).center());
        QMenu* pMenu = pList->findChildren<QMenu*>().last();
        pMenu->close();
        for (QAction* pAction : pMenu->actions()) {
            if (pAction->text() == strEntry)
                pAction->trigger();
        }
    }

    // Each row holds its own message's picture (decrypted: no two fetches agree) and shows it.
    void verifyRowsShowTheirOwnPictures()
    {
        CVideoSdk* pSdk = CVideoSdk::instance();
        for (CAlarmMsgWnd* pRow : all()->ShownRows()) {
            const bool bEncrypted = pRow->GetAlarmInfo().isEncrypted == "1";
            char* pBuf = nullptr;
            int nLen = 0, nMaxAge = 0;
            const std::string strToken = m_sim->accessToken().toStdString();
            QCOMPARE(pSdk->FetchPicture(strToken, pRow->GetAlarmInfo().picUrl, &pBuf, &nLen, &nMaxAge), 0);
            QByteArray baPicture(pBuf, nLen);
            pSdk->DataFree(pBuf);
            if (bEncrypted &&
                pSdk->DecryptPictureData(baPicture.constData(), nLen, "QWERTY", &pBuf, &nLen) == 0) {
                baPicture = QByteArray(pBuf, nLen);
                pSdk->DataFree(pBuf);
            }
            QCOMPARE(bEncrypted ? pRow->GetDecryptedPicBytes() : pRow->GetPicBytes(), baPicture);
            const QImage shown = pRow->findChild<QLabel*>("picLab")->pixmap(Qt::ReturnByValue).toImage();
            QCOMPARE(
                shown.convertToFormat(QImage::Format_RGB32),
                CPicJob::Decode(baPicture, CAlarmMsgWnd::kPicLabSize).convertToFormat(QImage::Format_RGB32));
        }
    }
    bool picturesIn(CListCtrl* pList) const
    {
        for (const CAlarmMsgWnd* pRow : pList->ShownRows())
            if (!pRow->IsPicReqFinished())
                return false;
        return true;
    }
    int currentPage() const { return child<QLabel>("pageLab")->text().section('/', 0, 0).toInt(); }
    void goToPage(int nPage)
    {
        if (currentPage() != nPage) {
            QPushButton* pButton = child<QPushButton>(nPage == 1 ? "firstPageBtn" : "lastPageBtn");
            QTRY_VERIFY_WITH_TIMEOUT(pButton->isEnabled(), kWaitMs);
            pButton->click();
        }
        QTRY_VERIFY_WITH_TIMEOUT(currentPage() == nPage && shows(all(), 30) && picturesIn(all()), kWaitMs);
    }
    int picturesFetched()
    {
        const QJsonArray p =
            m_sim->admin("GET", "/admin/requests?path=/api/msg/list&limit=1")["paths"].toArray();
        return int(std::count_if(p.begin(), p.end(),
                                 [](auto path) { return path.toString().startsWith("/pictures/"); }));
    }

private slots:
    void cleanup() { m_fx.reset(); }

    // Having read them all the operator stays on the unread list: only the
    // very first answer may send one without unread messages to 全部.
    void markAllReadStaysOnTheUnreadList()
    {
        startSim(5);
        chooseFromMenu(unread(), 0, "全部标记为已读");
        QCOMPARE(child<QTabWidget>("resTab")->tabText(1), QString("未读(0)"));
        QTRY_VERIFY_WITH_TIMEOUT(shows(unread(), 0), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(m_sim->lastRequests("/api/msg/update/read/all").size(), 1, kWaitMs);
        cannedPage("", 0);
        child<QPushButton>("NotReadMsgFreshBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(child<QStackedWidget>("notReadResultTab")->currentIndex(), 0, kWaitMs);
        QCOMPARE(child<QTabWidget>("resTab")->currentIndex(), 1);
    }

    // A request times out, the operator presses 刷新, and the old answer
    // comes while the new request is out: only the new answer is shown.
    void timedOutReplyNeverFillsTheListOverTheRetry()
    {
        startSim(3);
        showAll(3);
        QList<QList<int>> updates; // ids of each update as it completes
        connect(all(), &CListCtrl::sigListIsSetAllChecked, this, [this, &updates] {
            updates << QList<int>();
            for (const CAlarmMsgWnd* pRow : all()->ShownRows())
                updates.last() << pRow->GetMsgId();
        });
        m_fx->client()->SetRequestTimeout(300);
        cannedPage("{\"id\":999,\"isRead\":1}", 1, 1500);
        m_fx->client()->OnGetMsgList(0, HTTPMSG_BODY());
        QTRY_COMPARE_WITH_TIMEOUT(child<QStackedWidget>("allResultTab")->currentIndex(), 3, kWaitMs);
        // The retry is slower than the old answer.
        m_fx->client()->SetRequestTimeout(10000);
        QVERIFY(m_sim->setFault("/api/msg/list", 0, 2500, false, 1));
        child<QPushButton>("AllMsgFreshBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!updates.isEmpty(), kWaitMs);
        QVERIFY(updates.size() == 1 && updates.at(0).size() == 3 && !updates.at(0).contains(999));
        QCOMPARE(child<QStackedWidget>("allResultTab")->currentIndex(), 1);
    }

    // The code dialog's event loop runs over a pressed row while a new page
    // replaces the row: when the dialog goes, nothing writes through it.
    void listReplyWhileTheCodeDialogIsOpenOverThePressedRow()
    {
        startSim(0, [](SimulatorProcess& sim) {
            // The newer one encrypted, its picture not to be had: pressing it
            // asks for the code; the new page still has a row after the press.
            sim.addAlarm({{"deviceSerial", "PV1000001"}, {"channelNo", 1}, {"push", false}});
            sim.addAlarm({{"deviceSerial", "PV1000002"}, {"channelNo", 1}, {"push", false}});
            QVERIFY(sim.setFault("/pictures/*", 500));
        });
        QTRY_VERIFY_WITH_TIMEOUT(shows(unread(), 2), kWaitMs);
        QPointer<CAlarmMsgWnd> pRow = unread()->ShownRows().at(0);
        QCOMPARE(pRow->GetAlarmInfo().deviceSerial, std::string("PV1000002"));
        QTRY_VERIFY_WITH_TIMEOUT(pRow->IsPicReqFinished(), kWaitMs);
        bool bAsked = false;
        QDeadlineTimer deadline(15000);
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* pDialog = qobject_cast<CPasswdInputWnd*>(QApplication::activeModalWidget());
            if (pDialog && !bAsked) {
                bAsked = true;
                HTTPMSG_BODY body;
                body.isRead = 0;
                m_fx->client()->OnGetMsgList(1, body);
            } else if (pDialog && ((pRow.isNull() && !unread()->IsBusy()) || deadline.hasExpired())) {
                poll.stop();
                pDialog->findChild<QPushButton*>("CancelBtn")->click();
            }
        });
        poll.start(20);
        pressRow(unread(), 0); // returns when the dialog has gone
        QVERIFY(bAsked && pRow.isNull());
        CAlarmMsgWnd* pCurrent = unread()->CurrentRow();
        QVERIFY(!pCurrent ||
                std::count(unread()->ShownRows().begin(), unread()->ShownRows().end(), pCurrent) == 1);
    }

    // Deletion mode on the all list, then the new-message tip switches to the
    // unread list: the mode ends on both, nothing stays hidden or swallowed.
    void switchingListsEndsDeletionMode()
    {
        startSim(3);
        showAll(3);
        chooseFromMenu(all(), 0, "批量删除");
        all()->ShownRows().at(1)->SetChecked(true);
        QVERIFY(all()->IsDeletionMode());
        m_fx->client()->GetAlarmMsg();
        child<QPushButton>("newMsgBtn")->click();
        QCOMPARE(child<QTabWidget>("resTab")->currentIndex(), 1);
        QVERIFY(!all()->IsDeletionMode() && !unread()->IsDeletionMode() && DeleteIdList().isEmpty());
        QVERIFY(child<QTabWidget>("resTab")->tabBar()->isVisible());
        QVERIFY(!child("deleteByQueueBotFrame")->isVisible() && !child("selectAllFrame")->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(shows(unread(), 3), kWaitMs);
        showAll(3);
        QVERIFY(!all()->ShownRows().at(1)->IsChecked());
        chooseFromMenu(all(), 0, "批量删除"); // the menu still works
        QVERIFY(all()->IsDeletionMode());
    }

    // A search answered by an error is over: "重试" sends at once, and after
    // "返回" no stale time-out pulls the operator back to the error page.
    void searchErrorEndsTheSearch()
    {
        startSim(1);
        auto* pLeft = child<QTabWidget>("leftTabWidget");
        m_fx->client()->SetRequestTimeout(5000);
        QVERIFY(m_sim->setFault("/api/msg/list", 503, 0, false, 1));
        pLeft->setCurrentIndex(1);
        child<QPushButton>("filterOkBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(pLeft->currentIndex(), 3, kWaitMs);
        child<QPushButton>("searchRetryBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(pLeft->currentIndex(), 5, 4000);
        m_fx->client()->SetRequestTimeout(300);
        QVERIFY(m_sim->setFault("/api/msg/list", 503, 0, false, 1));
        pLeft->setCurrentIndex(1);
        child<QPushButton>("filterOkBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(pLeft->currentIndex(), 3, kWaitMs);
        child<QPushButton>("backMsgListBtn_4")->click();
        QCOMPARE(pLeft->currentIndex(), 0);
        // A request sent now with a longer time-out runs out after the search's would have.
        m_fx->client()->SetRequestTimeout(900);
        QVERIFY(m_sim->setFault("/api/msg/list", 0, 3000, false, 1));
        m_fx->client()->OnGetMsgList(0, HTTPMSG_BODY());
        QTRY_COMPARE_WITH_TIMEOUT(child<QStackedWidget>("allResultTab")->currentIndex(), 3, kWaitMs);
        QCOMPARE(pLeft->currentIndex(), 0);
    }

    // The detail picture follows the pressed message: one whose picture
    // address names no known encryption shows no picture, not the last one.
    void detailDropsThePictureOfTheLastMessage()
    {
        startSim(1);
        QTRY_VERIFY_WITH_TIMEOUT(unread()->ShownRows().at(0)->HasPic(), kWaitMs);
        pressRow(unread(), 0);
        auto* pPicture = child("picNtRtyWgt")->findChild<QLabel*>("picLab"); // not a row's
        QVERIFY(!pPicture->pixmap(Qt::ReturnByValue).isNull());
        cannedPage("{\"id\":77,\"isRead\":1,\"picUrl\":\"https://127.0.0.1:1/p.jpg?a=1&isEncrypted=2\"}", 1);
        child<QPushButton>("NotReadMsgFreshBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(shows(unread(), 1) && unread()->ShownRows().at(0)->GetMsgId() == 77,
                                 kWaitMs);
        pressRow(unread(), 0);
        QVERIFY(pPicture->pixmap(Qt::ReturnByValue).isNull());
    }

    // The hidden copy of the selection reports its picture after a refresh;
    // the window renews the copy, but never under the copy's own signal.
    void selectionCopyOutlivesItsOwnSignal()
    {
        startSim(1, [](SimulatorProcess& sim) { QVERIFY(sim.setFault("/pictures/*", 500)); });
        QTRY_VERIFY_WITH_TIMEOUT(shows(unread(), 1) && unread()->ShownRows().at(0)->IsPicFailed(), kWaitMs);
        const int nId = unread()->ShownRows().at(0)->GetMsgId();
        pressRow(unread(), 0);
        child<QPushButton>("refshPicPushBut")->click();
        QPointer<CAlarmMsgWnd> pCopy = copies().value(0);
        QTRY_VERIFY_WITH_TIMEOUT(pCopy->IsPicReqFinished(), kWaitMs);
        emit pCopy->sigMsgPicUpdate(nId, 0); // ends the refresh
        emit pCopy->sigMsgPicUpdate(nId, 0); // renews the copy from the pressed row
        QVERIFY(!pCopy.isNull());
        QTRY_VERIFY(pCopy.isNull());
        QCOMPARE(copies().size(), 1);
    }

    // With the snapshot cache on: slow pictures and fast paging leave every
    // row its own picture; pages seen before, and a window opened again,
    // fetch none; encrypted pictures are kept only encrypted; a damaged entry
    // is fetched again once; "no-store" keeps nothing.
    void everyRowItsOwnPicture()
    {
        const QString strCache = m_cacheDir.filePath("snapshots");
        const QString strCfg = QString("<snap_cache_folder>%1</snap_cache_folder>").arg(strCache);
        // Page 1: plain pictures; page 2: encrypted ones, an hour older.
        const auto fnPages = [](SimulatorProcess& sim) {
            QJsonObject page{{"count", 30}, {"deviceSerial", "PV1000001"}, {"push", false}};
            page["alarmTime"] = double(QDateTime::currentMSecsSinceEpoch());
            sim.addAlarm(page);
            page["deviceSerial"] = "PV1000002";
            page["alarmTime"] = page["alarmTime"].toDouble() - 3.6e6;
            sim.addAlarm(page);
        };
        startSim(0, fnPages, strCfg);
        showAll(30);
        QVERIFY(m_sim->setFault("/pictures/*", 0, 150));
        for (int i = 0; i < 6; ++i) {
            QPushButton* pButton = child<QPushButton>(i % 2 == 0 ? "nextPageBtn" : "prePageBtn");
            QTRY_VERIFY_WITH_TIMEOUT(pButton->isEnabled(), kWaitMs);
            pButton->click();
        }
        QTRY_VERIFY_WITH_TIMEOUT(shows(all(), 30) && picturesIn(all()), kWaitMs);
        m_sim->clearFaults();
        verifyRowsShowTheirOwnPictures();
        goToPage(2);
        verifyRowsShowTheirOwnPictures();
        QTRY_COMPARE_WITH_TIMEOUT(CPicLoad::ParkedCount(), 0, kWaitMs);
        m_sim->admin("POST", "/admin/requests/clear");
        goToPage(1);
        goToPage(2);
        QCOMPARE(picturesFetched(), 0);
        m_fx->close();
        openWindow(strCfg);
        showAll(30);
        goToPage(2);
        QCOMPARE(picturesFetched(), 0);
        verifyRowsShowTheirOwnPictures();
        CSnapCache cache(strCache, 1 << 30);
        for (CAlarmMsgWnd* pRow : all()->ShownRows()) {
            QByteArray baKept;
            QVERIFY(cache.Get(QString::fromStdString(pRow->GetAlarmInfo().picUrl), &baKept) &&
                    baKept.startsWith("PVXE") && baKept == pRow->GetPicBytes());
        }
        goToPage(1);
        CAlarmMsgWnd* pRow = all()->ShownRows().front();
        const QString strUrl = QString::fromStdString(pRow->GetAlarmInfo().picUrl);
        QFile entry(cache.EntryPath(strUrl));
        QVERIFY(entry.open(QIODevice::ReadWrite) && entry.resize(entry.size() / 2));
        entry.close();
        m_sim->admin("POST", "/admin/requests/clear");
        for (int i = 0; i < 2; ++i) { // fetched again, then kept whole again
            pRow->LoadPicture();
            QTRY_VERIFY_WITH_TIMEOUT(pRow->IsPicReqFinished() && pRow->HasPic(), kWaitMs);
            QCOMPARE(m_sim->lastRequests(QUrl(strUrl).path()).size(), 1);
        }
        const ALARM_INFO_STRUCT record = all()->ShownRows().back()->GetAlarmInfo();
        cache.Remove(QString::fromStdString(record.picUrl));
        QVERIFY(
            m_sim->admin("POST", "/admin/pictures/caching", {{"cacheControl", "no-store"}})["ok"].toBool());
        for (int i = 1; i <= 2; ++i) {
            CAlarmMsgWnd row(nullptr);
            row.SetAlarmInfo(record);
            QTRY_VERIFY_WITH_TIMEOUT(row.IsPicReqFinished() && row.HasPic(), kWaitMs);
            QCOMPARE(m_sim->lastRequests(QUrl(QString::fromStdString(record.picUrl)).path()).size(), i);
        }
    }

    // Every thread of the picture pool busy with a slow picture of a live
    // row, rows then come and go: their queued work is dropped, not fetched
    // ahead of the rows still shown; a result posted to a row already gone,
    // and a plain download in flight, go with the row.
    void rowsGoneWhileLoading()
    {
        startSim(0, [](SimulatorProcess& sim) {
            for (const char* szSerial : {"PV1000001", "PV1000001", "PV1000002"})
                sim.addAlarm({{"deviceSerial", szSerial}, {"channelNo", 1}, {"push", false}});
            // Kept nowhere: every load that runs fetches.
            sim.admin("POST", "/admin/pictures/caching", {{"cacheControl", "no-store"}});
        });
        QTRY_VERIFY_WITH_TIMEOUT(shows(unread(), 3) && picturesIn(unread()), kWaitMs);
        std::vector<ALARM_INFO_STRUCT> records; // the encrypted one first
        for (const CAlarmMsgWnd* pRow : unread()->ShownRows())
            records.insert(records.begin() + (pRow->GetAlarmInfo().isEncrypted == "1" ? 0 : records.size()),
                           pRow->GetAlarmInfo());
        const ALARM_INFO_STRUCT info = records.at(0), queuedPlain = records.at(1), plain = records.at(2);
        const auto path = [](const ALARM_INFO_STRUCT& r) { return QUrl(r.picUrl.c_str()).path(); };
        m_sim->admin("POST", "/admin/requests/clear");
        QVERIFY(m_sim->setFault(path(info), 0, 800));
        std::vector<std::unique_ptr<CAlarmMsgWnd>> busy;
        for (int i = 0; i < CPicJob::kPoolThreads; ++i) {
            busy.push_back(std::make_unique<CAlarmMsgWnd>(nullptr));
            busy.back()->SetAlarmInfo(info);
        }
        QTRY_COMPARE_WITH_TIMEOUT(CPicJob::Pool().activeThreadCount(), CPicJob::kPoolThreads, kWaitMs);
        // A plain picture first looks in the snapshot cache on the pool: a
        // row gone before that is done downloads nothing either.
        for (int i = 0; i < 10; ++i)
            CAlarmMsgWnd(nullptr).SetAlarmInfo(i % 2 == 0 ? info : queuedPlain);
        QVERIFY(CPicJob::Pool().waitForDone(kWaitMs));
        QCOMPARE(m_sim->lastRequests(path(info)).size(), CPicJob::kPoolThreads);
        QVERIFY(m_sim->lastRequests(path(queuedPlain)).isEmpty());
        busy.clear();
        m_sim->clearFaults();
        {
            CAlarmMsgWnd row(nullptr);
            row.SetAlarmInfo(info);
            QVERIFY(CPicJob::Pool().waitForDone(kWaitMs)); // posted, not yet delivered
        }
        // A row asking after the gone ones is answered after them.
        QVERIFY(m_sim->setFault(path(plain), 0, 500));
        for (int i = 1; i <= 3; ++i) {
            CAlarmMsgWnd row(nullptr);
            row.SetAlarmInfo(plain);
            QTRY_COMPARE_WITH_TIMEOUT(m_sim->lastRequests(path(plain)).size(), i, kWaitMs);
        }
        CAlarmMsgWnd row(nullptr);
        row.SetAlarmInfo(plain);
        QTRY_VERIFY_WITH_TIMEOUT(row.IsPicReqFinished() && row.HasPic(), kWaitMs);
    }
};

QTEST_MAIN(TestMessageLists)
#include "tst_messagelists.moc"
