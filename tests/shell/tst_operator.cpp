// The operator's evidence and keys, against the real simulator, video library
// and host: the picture saved from the detail side and from a row's menu, the
// clip from the record side (read back as the files lie in the folders, the
// clip by ffprobe; folders that take nothing get nothing); then keys as the
// keyboard sends them, deletion from the detail side and the search result's
// criteria, read back from the window and the requests the simulator received.
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

struct HttpResult
{
    int status = 0; // 0: no HTTP answer
    QByteArray body;
};

// A blocking GET that trusts only the simulator's CA.
HttpResult HttpsGet(const QString& strCaFile, const QString& strUrl, const QString& strBearer = {})
{
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(strUrl)};
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.setCaCertificates(QSslCertificate::fromPath(strCaFile));
    request.setSslConfiguration(ssl);
    if (!strBearer.isEmpty()) {
        request.setRawHeader("Authorization", "Bearer " + strBearer.toUtf8());
    }
    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!reply->isFinished() && !finished.wait(kWaitMs)) {
        return {};
    }
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
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
    CPlayThread* worker() const { return m_fx.worker(); }
    CusSliderWnd* bar() const { return m_fx.bar(); }
    QString shownTime() const { return child<QLabel>("alarmTimeLab")->text(); }
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

    void startClipOf(const std::string& strSerial)
    {
        QVERIFY(m_fx.startClipOf(strSerial));
        QVERIFY(child<QPushButton>("saveClipBut")->isEnabled());
    }

    // ffprobe's view of the one stream of a file.
    QJsonObject probe(const QString& strPath)
    {
        QProcess ffprobe;
        ffprobe.start("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                                  "stream=codec_name,width,height,nb_read_frames:format=format_name", "-of",
                                  "json", strPath});
        if (!ffprobe.waitForFinished(kWaitMs) || ffprobe.exitCode() != 0) {
            return {};
        }
        const QJsonObject root = QJsonDocument::fromJson(ffprobe.readAllStandardOutput()).object();
        QJsonObject stream = root.value("streams").toArray().at(0).toObject();
        stream.insert("format_name", root.value("format").toObject().value("format_name"));
        return stream;
    }

    // Frames the cloud holds between the two times, at its 5 frames a second.
    int framesOfSpan(const std::string& strStart, const std::string& strStop)
    {
        QUrlQuery query;
        query.addQueryItem("device", "PV1000001");
        query.addQueryItem("channel", "1");
        query.addQueryItem("start", QString::fromStdString(strStart));
        query.addQueryItem("end", QString::fromStdString(strStop));
        const HttpResult result =
            HttpsGet(m_sim.caFile(), m_sim.cloudUrl() + "/v1/records?" + query.toString(QUrl::FullyEncoded),
                     m_sim.accessToken());
        const QJsonObject root = QJsonDocument::fromJson(result.body).object();
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

    // Answers the next message box with OK once it is up; its text goes to *pText.
    void acceptNextBox(QString* pText)
    {
        m_fx.onNextModal<CMsgBox>([pText](CMsgBox* pBox) {
            *pText = pBox->findChild<QLabel*>("msgtext")->text();
            pBox->findChild<QPushButton*>("okbtn")->click();
        });
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
        const QString strId = QString::number(pRow->GetMsgId());
        QVERIFY2(files[0].endsWith("_" + strId + ".jpg"), qPrintable(files[0]));
        QFile saved(QDir(m_strSnapDir).filePath(files[0]));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const HttpResult served =
            HttpsGet(m_sim.caFile(), QString::fromStdString(pRow->GetAlarmInfo().picUrl));
        QCOMPARE(served.status, 200);
        QCOMPARE(saved.readAll(), served.body);

        // The tip's button opens the folder the picture went to.
        m_opened.clear();
        CTipMsg* pTip = m_client->findChild<CTipMsg*>();
        QTest::mouseClick(pTip->findChild<QPushButton*>("openBtn"), Qt::LeftButton);
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(QDir(m_opened[0].toLocalFile()).canonicalPath(), QDir(m_strSnapDir).canonicalPath());
    }

    void decryptedSnapshotFromTheMenuIsThePictureShown()
    {
        const int nIndex = m_fx.rowIndex("PV1000002");
        QVERIFY(nIndex >= 0);
        CAlarmMsgWnd* pRow = unreadList()->ShownRows()[static_cast<size_t>(nIndex)];
        QTRY_VERIFY_WITH_TIMEOUT(pRow->HasPic(), kWaitMs);
        QVERIFY(pRow->IsDecrypted());
        CListCtrl* pList = unreadList();
        QTest::mouseClick(pList->viewport(), Qt::RightButton, {}, m_fx.rowRect(nIndex).center());
        QMenu* pMenu = pList->findChild<QMenu*>();
        QVERIFY(pMenu);
        QAction* pSave = nullptr;
        for (QAction* pAction : pMenu->actions()) {
            pSave = pAction->text() == "保存图片" ? pAction : pSave;
        }
        QVERIFY(pSave);
        pSave->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(m_fx.tipText(), QString("抓图成功"), kWaitMs);

        const QStringList files = FilesIn(m_strSnapDir);
        QCOMPARE(files.size(), 1);
        QFile saved(QDir(m_strSnapDir).filePath(files[0]));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray baSaved = saved.readAll();
        QVERIFY(!baSaved.startsWith("PVXE")); // not the encrypted bytes of the cloud
        const QImage image = QImage::fromData(baSaved);
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
        startClipOf("PV1000001");
        if (QTest::currentTestFailed()) {
            return;
        }
        const std::string strStart = m_client->findChild<CPlayThread*>()->SearchStartTime();
        const std::string strStop = m_client->findChild<CPlayThread*>()->SearchStopTime();
        QTest::mouseClick(child<QPushButton>("saveClipBut"), Qt::LeftButton);
        QVERIFY(saveBar()->isVisible());
        QVERIFY(!child<QPushButton>("saveClipBut")->isEnabled()); // one save at a time
        QTRY_COMPARE_WITH_TIMEOUT(m_fx.tipText(), QString("录像保存成功"), kWaitMs);
        QVERIFY(!saveBar()->isVisible());

        const QStringList files = FilesIn(m_strRecDir);
        QCOMPARE(files.size(), 1); // the temporary file is gone
        QVERIFY2(files[0].endsWith(".mkv"), qPrintable(files[0]));
        const QJsonObject stream = probe(QDir(m_strRecDir).filePath(files[0]));
        QCOMPARE(stream.value("codec_name").toString(), QString("mjpeg"));
        QVERIFY(stream.value("format_name").toString().contains("matroska"));
        const int nExpected = framesOfSpan(strStart, strStop);
        QVERIFY(nExpected > 0);
        QCOMPARE(stream.value("nb_read_frames").toString().toInt(), nExpected);
    }

    void cancelledClipLeavesNothing()
    {
        startClipOf("PV1000001");
        if (QTest::currentTestFailed()) {
            return;
        }
        // The download sends its first frame and then waits.
        QVERIFY(m_sim.controlStreams("hold", "PV1000001", 1) >= 0);
        QTest::mouseClick(child<QPushButton>("saveClipBut"), Qt::LeftButton);
        const auto downloading = [this] {
            for (const QJsonValue stream : m_sim.admin("GET", "/admin/streams").value("streams").toArray()) {
                if (stream.toObject().value("download").toBool()) {
                    return true;
                }
            }
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(downloading(), kWaitMs);
        QCOMPARE(FilesIn(m_strRecDir).size(), 1); // the file being written
        QTest::mouseClick(saveBar()->findChild<QPushButton*>("cancelBtn"), Qt::LeftButton);
        QCOMPARE(FilesIn(m_strRecDir), QStringList());
        QVERIFY(!saveBar()->isVisible());
        QTRY_COMPARE(m_fx.tipText(), QString("已取消保存录像"));
        QVERIFY(child<QPushButton>("saveClipBut")->isEnabled());
    }

    void clipOnAFullDiskLeavesNothing()
    {
        startClipOf("PV1000001");
        if (QTest::currentTestFailed()) {
            return;
        }
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
        QVERIFY2(strShown.contains(strFrom + " 至 " + strTo), qPrintable(strShown));
        QVERIFY2(strShown.contains("全部设备"), qPrintable(strShown));
        QVERIFY2(strShown.contains("状态：全部"), qPrintable(strShown));
        QVERIFY2(strShown.contains(QString("共 %1 条").arg(kAlarms)), qPrintable(strShown));

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
        QCOMPARE(child<QTabWidget>("resTab")->tabText(1), QString("未读(%1)").arg(nUnread - 2));
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
        CListCtrl* pList = unreadList();
        m_fx.clickRowAt(2);
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
        QTRY_COMPARE_WITH_TIMEOUT(m_fx.tipText(), QString("删除成功"), kWaitMs);
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
        QTRY_COMPARE_WITH_TIMEOUT(m_fx.tipText(), QString("删除成功"), kWaitMs);
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

QTEST_MAIN(TestOperator)
#include "tst_operator.moc"
