// The operator's evidence and keys, against the real simulator, video library and host: pictures
// and clips saved (read back from the folders, the clip by ffprobe; folders that take nothing get
// nothing); keys, deletion and the search result's criteria, read back from window and simulator.
#include "ModuleFixture.h"

#include "alarms/CAlarmMsgWnd.h"
#include "playback/CClipSaveBar.h"
#include "playback/CPlayThread.h"
#include "playback/CusSlider.h"
#include "playback/CusSliderWnd.h"
#include "widgets/CMsgBox.h"
#include "widgets/CTipMsg.h"

#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QMenu>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextDocument>
#include <QUrlQuery>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

constexpr int kWaitMs = 60000;
constexpr int kAlarms = 36; // a page of 30 and one of 6

// Files of a folder, hidden ones (a temporary file) included.
QStringList FilesIn(const QString& strDir)
{
    return QDir(strDir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

QByteArray FileBytes(const QString& strDir, const QString& strName)
{
    QFile file(QDir(strDir).filePath(strName));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes larger than nBytes fail as on a full disk (EFBIG), for this process.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t nBytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = nBytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_old); }

private:
    rlimit m_old{};
};

// A blocking GET that trusts only the simulator's CA; the body of a 200 answer, else nothing.
QByteArray HttpsGet(const QString& strCaFile, const QString& strUrl, const QString& strBearer = {})
{
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(strUrl)};
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.setCaCertificates(QSslCertificate::fromPath(strCaFile));
    request.setSslConfiguration(ssl);
    request.setRawHeader("Authorization", "Bearer " + strBearer.toUtf8());
    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    const bool bDone = reply->isFinished() || finished.wait(kWaitMs);
    return bDone && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200
               ? reply->readAll()
               : QByteArray();
}

} // namespace

class TestOperator : public QObject
{
    Q_OBJECT
private:
    ModuleFixture m_fx;
    SimulatorProcess& m_sim = m_fx.sim;
    QTemporaryDir& m_dir = m_fx.dir;
    MessageClient* m_client = nullptr;
    qint64 m_nAlarmMs = 0;
    QString m_strSnapDir;
    QString m_strRecDir;
    QList<QUrl> m_opened;

    template <typename T>
    T* child(const char* szName) const
    {
        return m_fx.child<T>(szName);
    }
    CListCtrl* unreadList() const { return m_fx.unreadList(); }
    CClipSaveBar* saveBar() const { return m_client->findChild<CClipSaveBar*>(); }
    QString shownTime() const { return child<QLabel>("alarmTimeLab")->text(); }
    QString timeOfRow(int nIndex) const
    {
        return unreadList()->ShownRows()[size_t(nIndex)]->GetAlarmInfo().alarmTimeText;
    }
    QString detailPage() const { return child<QStackedWidget>("rghtStkWgt")->currentWidget()->objectName(); }
    QJsonArray requests(const QString& strPath) { return m_fx.requests(strPath); }
    void clearRequests() { m_sim.admin("POST", "/admin/requests/clear"); }
    void key(Qt::Key eKey) { QTest::keyClick(QApplication::focusWidget(), eKey); }
    int unreadTotal() const
    {
        const QString strTab = child<QTabWidget>("resTab")->tabText(1); // "未读(N)"
        return strTab.mid(3, strTab.size() - 4).toInt();
    }

    void useFolders(const QString& strSnap, const QString& strRec)
    {
        m_fx.writeConfig(
            QString("<snap_folder>%1</snap_folder><rec_folder>%2</rec_folder>").arg(strSnap, strRec));
    }

    void closeTips()
    {
        for (CTipMsg* pTip : m_client->findChildren<CTipMsg*>()) {
            pTip->close();
        }
        QTRY_VERIFY(m_fx.tipText().isEmpty());
    }

    bool startClip()
    {
        return m_fx.startClipOf("PV1000001") && child<QPushButton>("saveClipBut")->isEnabled();
    }

    // The frames ffprobe reads from a file's first video stream; -1 if it cannot.
    static int framesIn(const QString& strPath)
    {
        QProcess ffprobe;
        ffprobe.start("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                                  "stream=nb_read_frames", "-of", "csv=p=0", strPath});
        if (!ffprobe.waitForFinished(kWaitMs) || ffprobe.exitCode() != 0)
            return -1;
        return ffprobe.readAllStandardOutput().trimmed().toInt();
    }

    // Frames the cloud holds between the two times, at its 5 frames a second.
    int framesOfSpan(const std::string& strStart, const std::string& strStop)
    {
        QUrlQuery query;
        query.addQueryItem("device", "PV1000001");
        query.addQueryItem("channel", "1");
        query.addQueryItem("start", QString::fromStdString(strStart));
        query.addQueryItem("end", QString::fromStdString(strStop));
        const QJsonObject root = QJsonDocument::fromJson(HttpsGet(m_sim.caFile(),
                                                                  m_sim.cloudUrl() + "/v1/records?" +
                                                                      query.toString(QUrl::FullyEncoded),
                                                                  m_sim.accessToken()))
                                     .object();
        int nFrames = 0;
        for (const QJsonValue record : root.value("records").toArray()) {
            const auto time = [&](const char* szKey) {
                return QDateTime::fromString(record.toObject().value(szKey).toString(),
                                             "yyyy-MM-dd hh:mm:ss");
            };
            nFrames += static_cast<int>(time("start").secsTo(time("end"))) * 5;
        }
        return nFrames;
    }

    // Deletes the open row (row nIndex) by this action, confirming the question; the next row opens
    // in its place and the platform hears of the deletion.
    template <typename F>
    void deleteOpenRow(int nIndex, F action)
    {
        CListCtrl* pList = unreadList();
        const int nDoomed = pList->ShownRows()[size_t(nIndex)]->GetMsgId();
        const QString strNextTime = timeOfRow(nIndex + 1);
        clearRequests();
        QString strAsked;
        m_fx.onNextModal<CMsgBox>([&strAsked](CMsgBox* pBox) {
            strAsked = pBox->findChild<QLabel*>("msgtext")->text();
            pBox->findChild<QPushButton*>("okbtn")->click();
        });
        action();
        QCOMPARE(strAsked, QString("确定删除该消息吗？"));
        QCOMPARE(detailPage(), QString("detailPage"));
        QCOMPARE(shownTime(), strNextTime);
        QCOMPARE(pList->CurrentRow(), pList->ShownRows()[size_t(nIndex)]);
        QTRY_COMPARE_WITH_TIMEOUT(requests("/api/msg/delete").size(), 1, kWaitMs);
        QCOMPARE(requests("/api/msg/delete").at(0).toObject().value("body").toString(),
                 QString("{\"id\":%1}").arg(nDoomed));
        QTRY_COMPARE_WITH_TIMEOUT(m_fx.tipText(), QString("删除成功"), kWaitMs);
    }

    // The start time of the newest stream request the video library sent.
    QString lastStreamStart()
    {
        const QJsonArray streams = requests("/cloud/v1/stream");
        return QUrlQuery(streams.at(streams.size() - 1)["query"].toString())
            .queryItemValue("start", QUrl::FullyDecoded);
    }

    QString searchStartPlus(int nSeconds) const
    {
        return QDateTime::fromString(QString::fromStdString(m_fx.worker()->SearchStartTime()),
                                     "yyyy-MM-dd hh:mm:ss")
            .addSecs(nSeconds)
            .toString("yyyy-MM-dd hh:mm:ss");
    }

private slots:
    void initTestCase()
    {
        CTipMsg::SetFolderOpener([this](const QUrl& url) {
            m_opened << url;
            return true;
        });
        // Whole seconds, so that the span's frames can be counted from the
        // recordings' second-exact times; the encrypted camera's alarm on top.
        m_nAlarmMs = (QDateTime::currentMSecsSinceEpoch() - 300000) / 1000 * 1000;
        QVERIFY2(
            m_fx.start({{{"deviceSerial", "PV1000001"},
                         {"count", kAlarms - 1},
                         {"alarmTime", m_nAlarmMs},
                         {"push", false}},
                        {{"deviceSerial", "PV1000002"}, {"alarmTime", m_nAlarmMs + 1000}, {"push", false}}},
                       true),
            qPrintable(m_fx.error()));
        m_strSnapDir = m_dir.filePath("snapshots");
        m_strRecDir = m_dir.filePath("recordings");
        QVERIFY(QDir().mkpath(m_strSnapDir) && QDir().mkpath(m_strRecDir));
        QVERIFY2(m_fx.open(30, QString("<snap_folder>%1</snap_folder><rec_folder>%2</rec_folder>")
                                   .arg(m_strSnapDir, m_strRecDir)),
                 qPrintable(m_fx.error()));
        m_client = m_fx.client();
        QApplication::setActiveWindow(m_client);
        QVERIFY(QTest::qWaitForWindowActive(m_client));
    }

    void init()
    {
        QVERIFY(m_sim.controlStreams("resume", "", -1) >= 0); // no hold left by a failed case
        closeTips();
        useFolders(m_strSnapDir, m_strRecDir);
        for (const QString& strDir : {m_strSnapDir, m_strRecDir}) {
            for (const QString& strFile : FilesIn(strDir)) {
                QVERIFY(QFile::remove(QDir(strDir).filePath(strFile)));
            }
        }
    }

    void cleanupTestCase()
    {
        m_fx.close();
        CTipMsg::SetFolderOpener({});
    }

    void plainSnapshotIsThePictureAsServed()
    {
        CAlarmMsgWnd* pRow = m_fx.clickRow("PV1000001");
        QVERIFY(pRow);
        QTRY_VERIFY(child<QPushButton>("saveSnapBut")->isEnabled());
        QTest::mouseClick(child<QPushButton>("saveSnapBut"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(m_fx.tipText(), QString("抓图成功"), kWaitMs);

        const QStringList files = FilesIn(m_strSnapDir);
        QCOMPARE(files.size(), 1);
        QVERIFY2(files[0].endsWith(QString("_%1.jpg").arg(pRow->GetMsgId())), qPrintable(files[0]));
        const QByteArray baServed =
            HttpsGet(m_sim.caFile(), QString::fromStdString(pRow->GetAlarmInfo().picUrl));
        QVERIFY(!baServed.isEmpty());
        QCOMPARE(FileBytes(m_strSnapDir, files[0]), baServed);

        // The tip's button opens the folder the picture went to.
        m_opened.clear();
        QTest::mouseClick(m_client->findChild<CTipMsg*>()->findChild<QPushButton*>("openBtn"),
                          Qt::LeftButton);
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(QDir(m_opened[0].toLocalFile()).canonicalPath(), QDir(m_strSnapDir).canonicalPath());
    }

    void decryptedSnapshotFromTheMenuIsThePictureShown()
    {
        const int nIndex = m_fx.rowIndex("PV1000002");
        QVERIFY(nIndex >= 0);
        CAlarmMsgWnd* pRow = unreadList()->ShownRows()[size_t(nIndex)];
        QTRY_VERIFY_WITH_TIMEOUT(pRow->HasPic() && pRow->IsDecrypted(), kWaitMs);
        QTest::mouseClick(unreadList()->viewport(), Qt::RightButton, {}, m_fx.rowRect(nIndex).center());
        QMenu* pMenu = unreadList()->findChild<QMenu*>();
        QVERIFY(pMenu);
        for (QAction* pAction : pMenu->actions()) {
            if (pAction->text() == "保存图片")
                pAction->trigger();
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_fx.tipText(), QString("抓图成功"), kWaitMs);

        const QStringList files = FilesIn(m_strSnapDir);
        QCOMPARE(files.size(), 1);
        const QImage image =
            QImage::fromData(FileBytes(m_strSnapDir, files[0])); // not the cloud's PVXE bytes
        QVERIFY(!image.isNull());
        QCOMPARE(image.convertToFormat(QImage::Format_RGB32),
                 pRow->GetPicture().toImage().convertToFormat(QImage::Format_RGB32));
    }

    void aFolderThatTakesNothingGetsNothing_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("sizeLimit");
        QTest::addColumn<QString>("tip");
        QTest::newRow("missing") << "missing" << 0 << "抓图失败，保存路径不存在";
        // Root may write anywhere: /proc/self takes no new file from anyone.
        QTest::newRow("unwritable") << "unwritable" << 0 << "抓图失败，保存路径无写入权限";
        QTest::newRow("full") << "" << 100 << "抓图失败，磁盘空间不足";
    }

    void aFolderThatTakesNothingGetsNothing()
    {
        QFETCH(QString, folder);
        QFETCH(int, sizeLimit);
        QFETCH(QString, tip);
        QString strFolder = m_strSnapDir;
        if (folder == "missing") {
            strFolder = QDir(m_strSnapDir).filePath("gone");
        } else if (folder == "unwritable") {
            strFolder = m_dir.filePath("locked");
            QVERIFY(QDir().mkpath(strFolder));
            QFile::setPermissions(strFolder, QFile::ReadOwner | QFile::ExeOwner);
            if (QFileInfo(strFolder).isWritable()) {
                strFolder = "/proc/self";
            }
        }
        useFolders(strFolder, m_strRecDir);
        QVERIFY(m_fx.clickRow("PV1000001"));
        QTRY_VERIFY(child<QPushButton>("saveSnapBut")->isEnabled());
        {
            std::unique_ptr<FileSizeLimit> limit(sizeLimit ? new FileSizeLimit(sizeLimit) : nullptr);
            QTest::mouseClick(child<QPushButton>("saveSnapBut"), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(m_fx.tipText(), tip, kWaitMs);
        }
        QVERIFY(!m_client->findChild<CTipMsg*>()->findChild<QPushButton*>("openBtn")->isVisible());
        if (strFolder != "/proc/self") {
            QCOMPARE(FilesIn(strFolder), QStringList());
        }
        QVERIFY(!QFileInfo::exists(QDir(m_strSnapDir).filePath("gone")));
    }

    void clipHoldsEveryFrameOfTheSpan()
    {
        QVERIFY(startClip());
        const std::string strStart = m_fx.worker()->SearchStartTime();
        const std::string strStop = m_fx.worker()->SearchStopTime();
        QTest::mouseClick(child<QPushButton>("saveClipBut"), Qt::LeftButton);
        QVERIFY(saveBar()->isVisible());
        QVERIFY(!child<QPushButton>("saveClipBut")->isEnabled()); // one save at a time
        QTRY_COMPARE_WITH_TIMEOUT(m_fx.tipText(), QString("录像保存成功"), kWaitMs);
        QVERIFY(!saveBar()->isVisible());

        const QStringList files = FilesIn(m_strRecDir);
        QCOMPARE(files.size(), 1); // the temporary file is gone
        QVERIFY2(files[0].endsWith(".mkv"), qPrintable(files[0]));
        const int nExpected = framesOfSpan(strStart, strStop);
        QVERIFY(nExpected > 0);
        QCOMPARE(framesIn(QDir(m_strRecDir).filePath(files[0])), nExpected);
    }

    void cancelledClipLeavesNothing()
    {
        QVERIFY(startClip());
        // The download sends its first frame and then waits.
        QVERIFY(m_sim.controlStreams("hold", "PV1000001", 1) >= 0);
        QTest::mouseClick(child<QPushButton>("saveClipBut"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(QJsonDocument(m_sim.admin("GET", "/admin/streams"))
                                     .toJson(QJsonDocument::Compact)
                                     .contains("\"download\":true"),
                                 kWaitMs);
        QCOMPARE(FilesIn(m_strRecDir).size(), 1); // the file being written
        QTest::mouseClick(saveBar()->findChild<QPushButton*>("cancelBtn"), Qt::LeftButton);
        QCOMPARE(FilesIn(m_strRecDir), QStringList());
        QVERIFY(!saveBar()->isVisible());
        QTRY_COMPARE(m_fx.tipText(), QString("已取消保存录像"));
        QVERIFY(child<QPushButton>("saveClipBut")->isEnabled());
    }

    void clipOnAFullDiskLeavesNothing()
    {
        QVERIFY(startClip());
        {
            FileSizeLimit limit(4096);
            QTest::mouseClick(child<QPushButton>("saveClipBut"), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(m_fx.tipText(), QString("录像保存失败，磁盘空间不足"), kWaitMs);
        }
        QCOMPARE(FilesIn(m_strRecDir), QStringList());
        QVERIFY(!saveBar()->isVisible());
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
        for (const QString& strPart : {strFrom + " 至 " + strTo, QString("全部设备"), QString("状态：全部"),
                                       QString("共 %1 条").arg(kAlarms)})
            QVERIFY2(strShown.contains(strPart), qPrintable(strShown));

        QTest::mouseClick(child<QPushButton>("backMsgListBtn2"), Qt::LeftButton);
        QCOMPARE(child<QTabWidget>("leftTabWidget")->currentIndex(), 0);
    }

    void arrowKeysOpenMessagesAsPressesDo()
    {
        // A fresh window: the rows read above leave the unread list.
        m_fx.close();
        QVERIFY2(m_fx.open(30), qPrintable(m_fx.error()));
        m_client = m_fx.client();
        QApplication::setActiveWindow(m_client);
        QVERIFY(QTest::qWaitForWindowActive(m_client));
        const int nUnread = unreadTotal();
        CListCtrl* pList = unreadList();
        pList->setFocus();
        QVERIFY(pList->hasFocus());
        // The focus is shown by a frame of the module's accent colour.
        const QImage focused = pList->grab().toImage();
        QCOMPARE(QColor(focused.pixel(0, focused.height() / 2)), QColor("#6186ff"));
        clearRequests();
        const std::vector<CAlarmMsgWnd*> rows = pList->ShownRows();
        // Down, down, up, and up again at the top (stays): each opens its row as a press does.
        for (const auto& step : {qMakePair(Qt::Key_Down, 0), qMakePair(Qt::Key_Down, 1),
                                 qMakePair(Qt::Key_Up, 0), qMakePair(Qt::Key_Up, 0)}) {
            key(step.first);
            QCOMPARE(pList->CurrentRow(), rows[size_t(step.second)]);
            QCOMPARE(detailPage(), QString("detailPage"));
            QCOMPARE(shownTime(), rows[size_t(step.second)]->GetAlarmInfo().alarmTimeText);
        }
        // Each message was read once, as a press reads it.
        QCOMPARE(child<QTabWidget>("resTab")->tabText(1), QString("未读(%1)").arg(nUnread - 2));
        QTRY_COMPARE_WITH_TIMEOUT(requests("/api/msg/update/read").size(), 2, kWaitMs);
        QSet<QString> reads;
        for (const QJsonValue request : requests("/api/msg/update/read"))
            reads << request["body"].toString();
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
        const int nUnread = unreadTotal();
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
        m_fx.clickRowAt(2);
        QVERIFY(unreadList()->hasFocus());
        QCOMPARE(unreadList()->CurrentRow(), unreadList()->ShownRows()[2]);
        deleteOpenRow(2, [this] { key(Qt::Key_Delete); });
        QCOMPARE(int(unreadList()->ShownRows().size()), 29);
    }

    void detailDeleteOpensTheNextMessageInPlace()
    {
        CListCtrl* pList = unreadList();
        QScrollBar* pScroll = pList->verticalScrollBar();
        pScroll->setValue(pScroll->maximum() / 2);
        const int nIndex = pList->row(pList->itemAt(pList->viewport()->rect().center()));
        QVERIFY(nIndex > 0 && nIndex + 1 < pList->count());
        m_fx.clickRowAt(nIndex);
        const int nScroll = pScroll->value();
        deleteOpenRow(nIndex, [this] { QTest::mouseClick(child<QPushButton>("delMsgBut"), Qt::LeftButton); });
        QCOMPARE(pScroll->value(), nScroll);
    }

    void theRowOpenWhenTheHostHidTheModuleOpensAgain()
    {
        m_fx.clickRowAt(0);
        m_client->ChangeHideModule(1); // remembered
        QCOMPARE(detailPage(), QString("detailPage"));
        m_client->ChangeHideModule(0);
        QCOMPARE(detailPage(), QString("orgPage"));
        m_client->ChangeShowModule(0);
        m_fx.clickRowAt(0);
        QCOMPARE(detailPage(), QString("detailPage"));
    }

    void playbackKeys()
    {
        CListCtrl* pList = unreadList();
        m_fx.clickRowAt(0);
        QTest::mouseClick(child<QPushButton>("plyBut"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(m_fx.bar()->isVisible(), kWaitMs);
        // The bar is a window of its own, and may have been activated: it takes
        // the keys as the window does.
        QTest::keyClick(m_fx.bar(), Qt::Key_Space);
        QVERIFY(m_fx.worker()->IsPaused());
        QTest::keyClick(m_fx.bar(), Qt::Key_Space);
        QVERIFY(!m_fx.worker()->IsPaused());
        // From the list they reach the window.
        QApplication::setActiveWindow(m_client);
        QTRY_VERIFY(pList->hasFocus());
        key(Qt::Key_Space);
        QVERIFY(m_fx.worker()->IsPaused());
        key(Qt::Key_Space);
        QVERIFY(!m_fx.worker()->IsPaused());

        auto* pSlider = m_fx.bar()->findChild<CusSlider*>();
        for (const int nStep : {CusSliderWnd::kSeekStepSeconds, -CusSliderWnd::kSeekStepSeconds}) {
            // A step back needs room behind the handle.
            QTRY_VERIFY_WITH_TIMEOUT(pSlider->value() >= CusSliderWnd::kSeekStepSeconds, kWaitMs);
            clearRequests();
            const QString strExpected = searchStartPlus(pSlider->value() + nStep);
            key(nStep > 0 ? Qt::Key_Right : Qt::Key_Left);
            QTRY_COMPARE_WITH_TIMEOUT(lastStreamStart(), strExpected, kWaitMs);
            QTRY_VERIFY_WITH_TIMEOUT(m_fx.worker()->IsRecordPlaying(), kWaitMs);
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
        QTest::keyClick(m_fx.bar(), Qt::Key_Down);
        QCOMPARE(shownTime(), strNextTime);
    }
};

QTEST_MAIN(TestOperator)
#include "tst_operator.moc"
