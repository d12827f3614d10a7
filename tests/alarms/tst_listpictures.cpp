// The pictures of a page in the window, against the platform simulator with
// the snapshot cache on: each row ends with its own picture however fast the
// operator pages, a page seen before and a window opened again fetch no
// picture, encrypted pictures are kept only encrypted, a damaged entry is
// fetched again and the platform's "no-store" is obeyed.
#include "ModuleLaunch.h"

#include "alarms/AlarmShared.h"
#include "alarms/CAlarmMsgWnd.h"
#include "alarms/CListCtrl.h"
#include "alarms/CPicJob.h"
#include "alarms/CPicLoad.h"
#include "alarms/CSnapCache.h"
#include "platform/PermissionTable.h"
#include "playback/CVideoSdk.h"
#include "shell/LaunchValues.h"
#include "shell/MessageClient.h"
#include "shell/ProcessEnd.h"

#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kWaitMs = 30000;
constexpr int kPerPage = 30;

} // namespace

class TestListPictures : public QObject
{
    Q_OBJECT
private:
    SimulatorProcess m_sim{{"--seed", "none"}};
    HostProcess m_host;
    QTemporaryDir m_dir;
    std::unique_ptr<MessageClient> m_client;

    QString cacheFolder() const { return m_dir.filePath("snapshots"); }
    CListCtrl* allList() const
    {
        return m_client->findChild<QWidget*>("allResListTab")->findChild<CListCtrl*>();
    }
    QPushButton* button(const char* szName) const { return m_client->findChild<QPushButton*>(szName); }
    int currentPage() const
    {
        return m_client->findChild<QLabel*>("pageLab")->text().section('/', 0, 0).toInt();
    }

    void openWindow()
    {
        LaunchValues::reset();
        PermissionTable().clear();
        DeleteIdList().clear();
        const QString strCfg = WriteModuleConfig(
            m_dir.path(), m_sim, QString("<snap_cache_folder>%1</snap_cache_folder>").arg(cacheFolder()));
        m_client = std::make_unique<MessageClient>(ModuleLaunchString(m_host, m_sim, strCfg, true));
        m_client->resize(1296, 721);
        m_client->show();
        m_client->findChild<QTabWidget*>("resTab")->setCurrentIndex(0);
    }

    // Every row of the list in, each with its picture request over.
    bool pageSettled() const
    {
        CListCtrl* pList = allList();
        if (pList->IsBusy() || int(pList->ShownRows().size()) != kPerPage) {
            return false;
        }
        for (CAlarmMsgWnd* pRow : pList->ShownRows()) {
            if (!pRow->IsPicReqFinished()) {
                return false;
            }
        }
        return true;
    }

    void goToPage(int nPage)
    {
        if (currentPage() != nPage) {
            QTRY_VERIFY_WITH_TIMEOUT(button(nPage == 1 ? "firstPageBtn" : "lastPageBtn")->isEnabled(),
                                     kWaitMs);
            button(nPage == 1 ? "firstPageBtn" : "lastPageBtn")->click();
        }
        QTRY_VERIFY_WITH_TIMEOUT(currentPage() == nPage && pageSettled(), kWaitMs);
    }

    // Picture addresses the simulator was asked for since its log was cleared.
    int picturesFetched()
    {
        int nCount = 0;
        const QJsonObject seen = m_sim.admin("GET", "/admin/requests?path=/api/msg/list&limit=1");
        for (const QJsonValue& path : seen.value("paths").toArray()) {
            nCount += path.toString().startsWith("/pictures/") ? 1 : 0;
        }
        return nCount;
    }

    // The picture as the platform serves that message, plain or decrypted.
    QByteArray pictureOf(const ALARM_INFO_STRUCT& record)
    {
        if (record.isEncrypted == "1") {
            char* pBuf = nullptr;
            int nLen = 0;
            CVideoSdk::instance()->DecryptPicture(m_sim.accessToken().toStdString(), record.picUrl,
                                                  record.deviceSerial, "QWERTY", &pBuf, &nLen);
            const QByteArray baPicture(pBuf, nLen);
            CVideoSdk::instance()->DataFree(pBuf);
            return baPicture;
        }
        QNetworkAccessManager manager;
        QNetworkRequest request(QUrl(QString::fromStdString(record.picUrl)));
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(QSslCertificate::fromPath(m_sim.caFile()));
        request.setSslConfiguration(tls);
        QNetworkReply* reply = manager.get(request);
        QSignalSpy done(reply, &QNetworkReply::finished);
        done.wait(kWaitMs);
        const QByteArray baPicture = reply->readAll();
        delete reply;
        return baPicture;
    }

    // Each row shows, decoded to its size, the picture of its own message.
    void verifyRowsShowTheirOwnPictures()
    {
        for (CAlarmMsgWnd* pRow : allList()->ShownRows()) {
            const ALARM_INFO_STRUCT& record = pRow->GetAlarmInfo();
            const QByteArray baPicture =
                record.isEncrypted == "1" ? pRow->GetDecryptedPicBytes() : pRow->GetPicBytes();
            QVERIFY2(pRow->HasPic(), qPrintable(QString("message %1").arg(record.id)));
            QCOMPARE(baPicture, pictureOf(record));
            const QImage shown = pRow->findChild<QLabel*>("picLab")->pixmap(Qt::ReturnByValue).toImage();
            QCOMPARE(
                shown.convertToFormat(QImage::Format_RGB32),
                CPicJob::Decode(baPicture, CAlarmMsgWnd::kPicLabSize).convertToFormat(QImage::Format_RGB32));
        }
    }

private slots:
    void initTestCase()
    {
        SetModuleProcessEnd([] {});
        QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
        QVERIFY(m_host.start(false));
        qputenv("PAVRIX_CLOUD_URL", m_sim.cloudUrl().toUtf8());
        qputenv("PAVRIX_CA_FILE", m_sim.caFile().toUtf8());
        // Page 1: plain pictures; page 2: encrypted ones, an hour older.
        const qint64 nNow = QDateTime::currentMSecsSinceEpoch();
        QCOMPARE(m_sim
                     .addAlarm({{"count", kPerPage},
                                {"deviceSerial", "PV1000001"},
                                {"alarmTime", double(nNow)},
                                {"push", false}})
                     .size(),
                 kPerPage);
        QCOMPARE(m_sim
                     .addAlarm({{"count", kPerPage},
                                {"deviceSerial", "PV1000002"},
                                {"alarmTime", double(nNow - 3600 * 1000)},
                                {"push", false}})
                     .size(),
                 kPerPage);
        openWindow();
        QTRY_VERIFY_WITH_TIMEOUT(currentPage() == 1 && pageSettled(), kWaitMs);
    }

    void cleanupTestCase() { m_client.reset(); }

    void fastPagingLeavesEachRowItsOwnPicture()
    {
        // Slow pictures: every page is left while its pictures are on their
        // way, and what they bring must not reach the rows shown after.
        QVERIFY(m_sim.setFault("/pictures/*", 0, 150));
        for (int i = 0; i < 6; ++i) {
            QPushButton* pButton = button(i % 2 == 0 ? "nextPageBtn" : "prePageBtn");
            QTRY_VERIFY_WITH_TIMEOUT(pButton->isEnabled(), kWaitMs);
            pButton->click();
        }
        QTRY_VERIFY_WITH_TIMEOUT(pageSettled(), kWaitMs);
        m_sim.clearFaults();
        verifyRowsShowTheirOwnPictures();
        goToPage(2);
        verifyRowsShowTheirOwnPictures();
        QTRY_COMPARE_WITH_TIMEOUT(CPicLoad::ParkedCount(), 0, kWaitMs);
    }

    void pagesSeenBeforeAndAReopenedWindowFetchNoPicture()
    {
        goToPage(1);
        goToPage(2);
        QVERIFY(m_sim.admin("POST", "/admin/requests/clear").value("ok").toBool());
        goToPage(1);
        goToPage(2);
        QCOMPARE(picturesFetched(), 0);

        m_client.reset();
        openWindow();
        QTRY_VERIFY_WITH_TIMEOUT(currentPage() == 1 && pageSettled(), kWaitMs);
        goToPage(2);
        QCOMPARE(picturesFetched(), 0);
        verifyRowsShowTheirOwnPictures();
    }

    void encryptedPicturesAreKeptEncrypted()
    {
        goToPage(2);
        CSnapCache cache(cacheFolder(), 1 << 30);
        for (CAlarmMsgWnd* pRow : allList()->ShownRows()) {
            QCOMPARE(pRow->GetAlarmInfo().isEncrypted, std::string("1"));
            QByteArray baKept;
            QVERIFY(cache.Get(QString::fromStdString(pRow->GetAlarmInfo().picUrl), &baKept));
            QVERIFY(baKept.startsWith("PVXE"));
            QCOMPARE(baKept, pRow->GetPicBytes());
            QVERIFY(!baKept.contains(pRow->GetDecryptedPicBytes().left(64)));
        }
    }

    void aDamagedEntryIsFetchedAgain()
    {
        goToPage(1);
        CAlarmMsgWnd* pRow = allList()->ShownRows().front();
        const QString strUrl = QString::fromStdString(pRow->GetAlarmInfo().picUrl);
        CSnapCache cache(cacheFolder(), 1 << 30);
        QFile entry(cache.EntryPath(strUrl));
        QVERIFY(entry.open(QIODevice::ReadWrite));
        QVERIFY(entry.resize(entry.size() / 2));
        entry.close();
        m_sim.admin("POST", "/admin/requests/clear");
        pRow->LoadPicture();
        QTRY_VERIFY_WITH_TIMEOUT(pRow->IsPicReqFinished(), kWaitMs);
        QVERIFY(pRow->HasPic());
        QCOMPARE(m_sim.lastRequests(QUrl(strUrl).path()).size(), 1);
        // Kept whole again.
        pRow->LoadPicture();
        QTRY_VERIFY_WITH_TIMEOUT(pRow->IsPicReqFinished(), kWaitMs);
        QCOMPARE(m_sim.lastRequests(QUrl(strUrl).path()).size(), 1);
    }

    void noStoreIsObeyed()
    {
        goToPage(1);
        const ALARM_INFO_STRUCT record = allList()->ShownRows().back()->GetAlarmInfo();
        const QString strUrl = QString::fromStdString(record.picUrl);
        CSnapCache cache(cacheFolder(), 1 << 30);
        cache.Remove(strUrl);
        QVERIFY(m_sim.admin("POST", "/admin/pictures/caching", {{"cacheControl", "no-store"}})
                    .value("ok")
                    .toBool());
        m_sim.admin("POST", "/admin/requests/clear");
        for (int i = 1; i <= 2; ++i) {
            CAlarmMsgWnd row(nullptr);
            row.SetAlarmInfo(record);
            QTRY_VERIFY_WITH_TIMEOUT(row.IsPicReqFinished(), kWaitMs);
            QVERIFY(row.HasPic());
            QCOMPARE(m_sim.lastRequests(QUrl(strUrl).path()).size(), i);
        }
        QByteArray baKept;
        QVERIFY(!cache.Get(strUrl, &baKept));
        m_sim.admin("POST", "/admin/pictures/caching", {{"cacheControl", "private, max-age=86400"}});
    }
};

QTEST_MAIN(TestListPictures)
#include "tst_listpictures.moc"
