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

QDateTime Time(const std::string& strTime)
{
    return QDateTime::fromString(QString::fromStdString(strTime), "yyyy-MM-dd hh:mm:ss");
}

QByteArray FileBytes(const QString& strDir, const QString& strName)
{
    QFile file(QDir(strDir).filePath(strName));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes larger than nBytes fail as on a full disk (EFBIG), for this process, until the result goes.
std::shared_ptr<void> LimitFileSize(rlim_t nBytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = nBytes;
    setrlimit(RLIMIT_FSIZE, &limit);
    return std::shared_ptr<void>(nullptr, [old](void*) { setrlimit(RLIMIT_FSIZE, &old); });
}

// A blocking GET that trusts only the simulator's CA; the body of a 200 answer, else nothing.
QByteArray HttpsGet(const SimulatorProcess& sim, const QString& strUrl)
{
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(strUrl)};
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.setCaCertificates(QSslCertificate::fromPath(sim.caFile()));
    request.setSslConfiguration(ssl);
    request.setRawHeader("Authorization", "Bearer " + sim.accessToken().toUtf8());
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
    MessageClient* m_client = nullptr;
    qint64 m_nAlarmMs = 0;
    QString m_strSnapDir;
    QString m_strRecDir;

    template <typename T>
    T* child(const char* szName) const
    {
        return m_fx.child<T>(szName);
    }
    CListCtrl* unreadList() const { return m_fx.unreadList(); }
    CClipSaveBar* saveBar() const { return m_client->findChild<CClipSaveBar*>(); }
    QString shownTime() const { return child<QLabel>("alarmTimeLab")->text(); }
    QString detailPage() const { return child<QStackedWidget>("rghtStkWgt")->currentWidget()->objectName(); }
    QJsonArray requests(const QString& strPath) { return m_fx.requests(strPath); }
    void clearRequests() { m_sim.admin("POST", "/admin/requests/clear"); }
    void key(Qt::Key eKey) { QTest::keyClick(QApplication::focusWidget(), eKey); }
    void click(const char* szButton) { QTest::mouseClick(child<QPushButton>(szButton), Qt::LeftButton); }
    int unreadTotal() const
    {
        const QString strTab = child<QTabWidget>("resTab")->tabText(1); // "未读(N)"
        return strTab.mid(3, strTab.size() - 4).toInt();
    }
    // The colour of the list's left edge: the module's accent when the list has the focus.
    QColor listEdge() const
    {
        const QImage image = unreadList()->grab().toImage();
        return image.pixel(0, image.height() / 2);
    }
    void useSnapFolder(const QString& strSnap)
    {
        m_fx.writeConfig(
            QString("<snap_folder>%1</snap_folder><rec_folder>%2</rec_folder>").arg(strSnap, m_strRecDir));
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
        QUrlQuery query("device=PV1000001&channel=1");
        query.addQueryItem("start", QString::fromStdString(strStart));
        query.addQueryItem("end", QString::fromStdString(strStop));
        const QByteArray baRecords =
            HttpsGet(m_sim, m_sim.cloudUrl() + "/v1/records?" + query.toString(QUrl::FullyEncoded));
        int nFrames = 0;
        for (const QJsonValue record : QJsonDocument::fromJson(baRecords)["records"].toArray()) {
            const auto time = [&](const char* szKey) { return Time(record[szKey].toString().toStdString()); };
            nFrames += int(time("start").secsTo(time("end"))) * 5;
        }
        return nFrames;
    }
    // Deletes the open row nIndex by this action, confirming the question; the next row opens in its
    // place and the platform hears of the deletion.
    template <typename F>
    void deleteOpenRow(int nIndex, F action)
    {
        CListCtrl* pList = unreadList();
        const int nDoomed = pList->ShownRows()[size_t(nIndex)]->GetMsgId();
        const QString strNextTime = pList->ShownRows()[size_t(nIndex) + 1]->GetAlarmInfo().alarmTimeText;
        clearRequests();
        QString strAsked;
        m_fx.onNextModal<CMsgBox>([&strAsked](CMsgBox* pBox) {
            strAsked = pBox->findChild<QLabel*>("msgtext")->text();
            pBox->findChild<QPushButton*>("okbtn")->click();
        });
        action();
        QCOMPARE(strAsked, QString("确定删除该消息吗？"));
        QCOMPARE(detailPage() + " " + shownTime(), "detailPage " + strNextTime);
        QCOMPARE(pList->CurrentRow(), pList->ShownRows()[size_t(nIndex)]);
        QTRY_COMPARE_WITH_TIMEOUT(requests("/api/msg/delete").size(), 1, kWaitMs);
        QCOMPARE(requests("/api/msg/delete").at(0)["body"].toString(), QString("{\"id\":%1}").arg(nDoomed));
        QTRY_COMPARE_WITH_TIMEOUT(m_fx.tipText(), QString("删除成功"), kWaitMs);
    }
    // Seconds from the clip's search start to the start of the newest stream the video library asked for.
    int lastStreamOffset()
    {
        const QJsonArray streams = requests("/cloud/v1/stream");
        const QString strStart = QUrlQuery(streams.at(streams.size() - 1)["query"].toString())
                                     .queryItemValue("start", QUrl::FullyDecoded);
        return int(Time(m_fx.worker()->SearchStartTime()).secsTo(Time(strStart.toStdString())));
    }

private slots:
    void initTestCase()
    {
        // Whole seconds, so that the span's frames can be counted from the recordings' second-exact
        // times; the encrypted camera's alarm on top.
        m_nAlarmMs = (QDateTime::currentMSecsSinceEpoch() - 300000) / 1000 * 1000;
        QJsonObject plain{{"deviceSerial", "PV1000001"}, {"count", kAlarms - 1}, {"alarmTime", m_nAlarmMs}};
        QJsonObject encrypted{{"deviceSerial", "PV1000002"}, {"alarmTime", m_nAlarmMs + 1000}};
        plain["push"] = encrypted["push"] = false;
        QVERIFY2(m_fx.start({plain, encrypted}, true), qPrintable(m_fx.error()));
        m_strSnapDir = m_fx.dir.filePath("snapshots");
        m_strRecDir = m_fx.dir.filePath("recordings");
        QVERIFY(QDir().mkpath(m_strSnapDir) && QDir().mkpath(m_strRecDir));
        QVERIFY2(m_fx.open(30), qPrintable(m_fx.error()));
        m_client = m_fx.client();
        QApplication::setActiveWindow(m_client);
        QVERIFY(QTest::qWaitForWindowActive(m_client));
    }

    void init()
    {
        QVERIFY(m_sim.controlStreams("resume", "", -1) >= 0); // no hold left by a failed case
        for (CTipMsg* pTip : m_client->findChildren<CTipMsg*>())
            pTip->close();
        QTRY_VERIFY(m_fx.tipText().isEmpty());
        useSnapFolder(m_strSnapDir);
        for (const QString& strDir : {m_strSnapDir, m_strRecDir}) {
            for (const QString& strFile : FilesIn(strDir))
                QVERIFY(QFile::remove(QDir(strDir).filePath(strFile)));
        }
    }

    void cleanupTestCase() { m_fx.close(); }

    void plainSnapshotIsThePictureAsServed()
    {
        CAlarmMsgWnd* pRow = m_fx.clickRow("PV1000001");
        QVERIFY(pRow);
        QTRY_VERIFY(child<QPushButton>("saveSnapBut")->isEnabled());
        click("saveSnapBut");
        QTRY_COMPARE_WITH_TIMEOUT(m_fx.tipText(), QString("抓图成功"), kWaitMs);
        const QStringList files = FilesIn(m_strSnapDir);
        QCOMPARE(files.size(), 1);
        QVERIFY2(files[0].endsWith(QString("_%1.jpg").arg(pRow->GetMsgId())), qPrintable(files[0]));
        const QByteArray baServed = HttpsGet(m_sim, QString::fromStdString(pRow->GetAlarmInfo().picUrl));
        QVERIFY(!baServed.isEmpty());
        QCOMPARE(FileBytes(m_strSnapDir, files[0]), baServed);
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
            strFolder = m_fx.dir.filePath("locked");
            QVERIFY(QDir().mkpath(strFolder));
            QFile::setPermissions(strFolder, QFile::ReadOwner | QFile::ExeOwner);
            if (QFileInfo(strFolder).isWritable())
                strFolder = "/proc/self";
        }
        useSnapFolder(strFolder);
        QVERIFY(m_fx.clickRow("PV1000001"));
        QTRY_VERIFY(child<QPushButton>("saveSnapBut")->isEnabled());
        auto limit = sizeLimit ? LimitFileSize(rlim_t(sizeLimit)) : nullptr;
        click("saveSnapBut");
        QTRY_COMPARE_WITH_TIMEOUT(m_fx.tipText(), tip, kWaitMs);
        limit.reset();
        QVERIFY(!m_client->findChild<CTipMsg*>()->findChild<QPushButton*>("openBtn")->isVisible());
        QVERIFY(strFolder == "/proc/self" || FilesIn(strFolder).isEmpty());
        QVERIFY(!QFileInfo::exists(QDir(m_strSnapDir).filePath("gone")));
    }

    void clipHoldsEveryFrameOfTheSpan()
    {
        QVERIFY(startClip());
        const std::string strStart = m_fx.worker()->SearchStartTime();
        const std::string strStop = m_fx.worker()->SearchStopTime();
        click("saveClipBut");
        QVERIFY(!child<QPushButton>("saveClipBut")->isEnabled()); // one save at a time
        QTRY_COMPARE_WITH_TIMEOUT(m_fx.tipText(), QString("录像保存成功"), kWaitMs);
        const QStringList files = FilesIn(m_strRecDir);
        QCOMPARE(files.size(), 1); // the temporary file is gone
        QVERIFY2(files[0].endsWith(".mkv"), qPrintable(files[0]));
        const int nExpected = framesOfSpan(strStart, strStop);
        QVERIFY(nExpected > 0);
        QCOMPARE(framesIn(QDir(m_strRecDir).filePath(files[0])), nExpected);
    }

    void clipNotFinishedLeavesNothing_data()
    {
        QTest::addColumn<bool>("full");
        QTest::addColumn<QString>("tip");
        QTest::newRow("cancelled") << false << "已取消保存录像";
        QTest::newRow("full disk") << true << "录像保存失败，磁盘空间不足";
    }

    void clipNotFinishedLeavesNothing()
    {
        QFETCH(bool, full);
        QFETCH(QString, tip);
        QVERIFY(startClip());
        auto limit = full ? LimitFileSize(4096) : nullptr;
        // A cancelled download sends its first frame and then waits.
        QVERIFY(full || m_sim.controlStreams("hold", "PV1000001", 1) >= 0);
        click("saveClipBut");
        if (!full) {
            QTRY_VERIFY_WITH_TIMEOUT(QJsonDocument(m_sim.admin("GET", "/admin/streams"))
                                         .toJson(QJsonDocument::Compact)
                                         .contains("\"download\":true"),
                                     kWaitMs);
            QCOMPARE(FilesIn(m_strRecDir).size(), 1); // the file being written
            QTest::mouseClick(saveBar()->findChild<QPushButton*>("cancelBtn"), Qt::LeftButton);
            QCOMPARE(FilesIn(m_strRecDir), QStringList());
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_fx.tipText(), tip, kWaitMs);
        limit.reset();
        QCOMPARE(FilesIn(m_strRecDir), QStringList());
        QVERIFY(!saveBar()->isVisible() && child<QPushButton>("saveClipBut")->isEnabled());
    }

    void searchResultShowsItsCriteriaAndCount()
    {
        click("filterBtn");
        const auto time = [this](int nHours) {
            return QDateTime::fromMSecsSinceEpoch(m_nAlarmMs + nHours * 3600000)
                .toString("yyyy-MM-dd hh:mm:ss");
        };
        child<QLabel>("fromTimeLab")->setText(time(-1));
        child<QLabel>("reachTimeLab")->setText(time(1));
        click("filterOkBtn");
        QTRY_COMPARE_WITH_TIMEOUT(child<QTabWidget>("leftTabWidget")->currentIndex(), 5, kWaitMs);
        QTextDocument shown;
        shown.setHtml(child<QLabel>("searchCriteriaLab")->text());
        for (const QString& strPart : {time(-1) + " 至 " + time(1), QString("全部设备"),
                                       QString("状态：全部"), QString("共 %1 条").arg(kAlarms)})
            QVERIFY2(shown.toPlainText().contains(strPart), qPrintable(shown.toPlainText()));
        click("backMsgListBtn2");
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
        QCOMPARE(listEdge(), QColor("#6186ff"));
        clearRequests();
        const std::vector<CAlarmMsgWnd*> rows = pList->ShownRows();
        // Down, down, up, and up again at the top (stays): each opens its row as a press does.
        for (const auto& step : {qMakePair(Qt::Key_Down, 0), qMakePair(Qt::Key_Down, 1),
                                 qMakePair(Qt::Key_Up, 0), qMakePair(Qt::Key_Up, 0)}) {
            key(step.first);
            QCOMPARE(pList->CurrentRow(), rows[size_t(step.second)]);
            QCOMPARE(detailPage() + " " + shownTime(),
                     "detailPage " + rows[size_t(step.second)]->GetAlarmInfo().alarmTimeText);
        }
        // Each message was read once, as a press reads it.
        QCOMPARE(unreadTotal(), nUnread - 2);
        QTRY_COMPARE_WITH_TIMEOUT(requests("/api/msg/update/read").size(), 2, kWaitMs);
        QSet<QString> reads;
        for (const QJsonValue request : requests("/api/msg/update/read"))
            reads << request["body"].toString();
        QCOMPARE(reads, (QSet<QString>{QString("{\"id\":%1}").arg(rows[0]->GetMsgId()),
                                       QString("{\"id\":%1}").arg(rows[1]->GetMsgId())}));
        QVERIFY(pList->hasFocus());
        pList->clearFocus();
        QVERIFY(listEdge() != QColor("#6186ff"));
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
        for (const auto& step : {qMakePair(Qt::Key_PageDown, 2), qMakePair(Qt::Key_PageUp, 1),
                                 qMakePair(Qt::Key_End, 2), qMakePair(Qt::Key_Home, 1)}) {
            key(step.first);
            QTRY_COMPARE_WITH_TIMEOUT(pPage->text(), QString("%1/2").arg(step.second), kWaitMs);
            const int nRows = step.second == 1 ? 30 : nUnread - 30;
            QTRY_VERIFY_WITH_TIMEOUT(!pList->IsBusy() && int(pList->ShownRows().size()) == nRows, kWaitMs);
            QTRY_VERIFY(pList->hasFocus());
        }
    }

    void deletionOpensTheNextMessageInPlace()
    {
        // By the key, from the list.
        CListCtrl* pList = unreadList();
        m_fx.clickRowAt(2);
        QVERIFY(pList->hasFocus());
        QCOMPARE(pList->CurrentRow(), pList->ShownRows()[2]);
        deleteOpenRow(2, [this] { key(Qt::Key_Delete); });
        QCOMPARE(int(pList->ShownRows().size()), 29);

        // By the detail side's button, half way down the list: the list stays where it was.
        QScrollBar* pScroll = pList->verticalScrollBar();
        pScroll->setValue(pScroll->maximum() / 2);
        const int nIndex = pList->row(pList->itemAt(pList->viewport()->rect().center()));
        QVERIFY(nIndex > 0 && nIndex + 1 < pList->count());
        m_fx.clickRowAt(nIndex);
        const int nScroll = pScroll->value();
        deleteOpenRow(nIndex, [this] { click("delMsgBut"); });
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
        click("plyBut");
        QTRY_VERIFY_WITH_TIMEOUT(m_fx.bar()->isVisible(), kWaitMs);
        // The bar is a window of its own, and may have been activated: it takes the keys as the
        // window does; from the list they reach the window.
        for (QWidget* pTarget : {static_cast<QWidget*>(m_fx.bar()), static_cast<QWidget*>(pList)}) {
            if (pTarget == pList) {
                QApplication::setActiveWindow(m_client);
                QTRY_VERIFY(pList->hasFocus());
            }
            for (const bool bPaused : {true, false}) {
                QTest::keyClick(pTarget, Qt::Key_Space);
                QCOMPARE(m_fx.worker()->IsPaused(), bPaused);
            }
        }
        auto* pSlider = m_fx.bar()->findChild<CusSlider*>();
        for (const int nStep : {CusSliderWnd::kSeekStepSeconds, -CusSliderWnd::kSeekStepSeconds}) {
            // A step back needs room behind the handle.
            QTRY_VERIFY_WITH_TIMEOUT(pSlider->value() >= CusSliderWnd::kSeekStepSeconds, kWaitMs);
            clearRequests();
            const int nExpected = pSlider->value() + nStep;
            key(nStep > 0 ? Qt::Key_Right : Qt::Key_Left);
            QTRY_COMPARE_WITH_TIMEOUT(lastStreamOffset(), nExpected, kWaitMs);
            QTRY_VERIFY_WITH_TIMEOUT(m_fx.worker()->IsRecordPlaying(), kWaitMs);
        }
        key(Qt::Key_F);
        QVERIFY(!child<QWidget>("leftFrame")->isVisible());
        QTest::keyClick(m_client, Qt::Key_Escape);
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
