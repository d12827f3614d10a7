// Saving the evidence as the operator does it, against the real simulator,
// video library and host: the picture from the detail side and from a row's
// menu, the clip from the record side; the files are read back as they lie in
// the folders (the clip by ffprobe), and folders that take nothing get nothing.
#include "ModuleFixture.h"

#include "alarms/CAlarmMsgWnd.h"
#include "playback/CClipSaveBar.h"
#include "playback/CPlayThread.h"
#include "playback/CusSliderWnd.h"
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
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QUrlQuery>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

constexpr int kWaitMs = 60000;

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

class TestSaving : public QObject
{
    Q_OBJECT
private:
    ModuleFixture m_fx;
    SimulatorProcess& m_sim = m_fx.sim;
    QTemporaryDir& m_dir = m_fx.dir;
    MessageClient* m_client = nullptr;
    QString m_strSnapDir;
    QString m_strRecDir;
    QList<QUrl> m_opened;

    template <typename T>
    T* child(const char* szName) const
    {
        return m_fx.child<T>(szName);
    }
    CListCtrl* unreadList() const { return m_fx.unreadList(); }
    CusSliderWnd* bar() const { return m_client->findChild<CusSliderWnd*>(); }
    CClipSaveBar* saveBar() const { return m_client->findChild<CClipSaveBar*>(); }

    void useFolders(const QString& strSnap, const QString& strRec)
    {
        m_fx.writeConfig(
            QString("<snap_folder>%1</snap_folder><rec_folder>%2</rec_folder>").arg(strSnap, strRec));
    }

    CAlarmMsgWnd* rowOf(const std::string& strSerial) const
    {
        for (CAlarmMsgWnd* pRow : unreadList()->ShownRows()) {
            if (pRow->GetAlarmInfo().deviceSerial == strSerial) {
                return pRow;
            }
        }
        return nullptr;
    }

    QRect rectOf(CAlarmMsgWnd* pRow) const
    {
        CListCtrl* pList = unreadList();
        for (int i = 0; i < pList->count(); ++i) {
            if (pList->itemWidget(pList->item(i)) == pRow) {
                return pList->visualItemRect(pList->item(i));
            }
        }
        return QRect();
    }

    // Clicks the row of a camera once its picture is in.
    CAlarmMsgWnd* clickRow(const std::string& strSerial)
    {
        CAlarmMsgWnd* pRow = rowOf(strSerial);
        if (!pRow || !QTest::qWaitFor([pRow] { return pRow->HasPic(); }, kWaitMs)) {
            return nullptr;
        }
        QTest::mouseClick(unreadList()->viewport(), Qt::LeftButton, {}, rectOf(pRow).center());
        return pRow;
    }

    QString tipText() const { return m_fx.tipText(); }

    void closeTips()
    {
        for (CTipMsg* pTip : m_client->findChildren<CTipMsg*>()) {
            pTip->close();
        }
        QTRY_VERIFY(tipText().isEmpty());
    }

    void startClipOf(const std::string& strSerial)
    {
        QVERIFY(clickRow(strSerial));
        QTest::mouseClick(child<QPushButton>("plyBut"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(bar()->isVisible(), kWaitMs);
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

private slots:
    void initTestCase()
    {
        CTipMsg::SetFolderOpener([this](const QUrl& url) {
            m_opened << url;
            return true;
        });
        // Whole seconds, so that the span's frames can be counted from the
        // recordings' second-exact times.
        const qint64 nAlarmMs = (QDateTime::currentMSecsSinceEpoch() - 300000) / 1000 * 1000;
        QVERIFY2(m_fx.start({{{"deviceSerial", "PV1000001"}, {"alarmTime", nAlarmMs}, {"push", false}},
                             {{"deviceSerial", "PV1000002"}, {"alarmTime", nAlarmMs}, {"push", false}}},
                            true),
                 qPrintable(m_fx.error()));
        m_strSnapDir = m_dir.filePath("snapshots");
        m_strRecDir = m_dir.filePath("recordings");
        QVERIFY(QDir().mkpath(m_strSnapDir) && QDir().mkpath(m_strRecDir));
        QVERIFY2(m_fx.open(2, QString("<snap_folder>%1</snap_folder><rec_folder>%2</rec_folder>")
                                  .arg(m_strSnapDir, m_strRecDir)),
                 qPrintable(m_fx.error()));
        m_client = m_fx.client();
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
        CAlarmMsgWnd* pRow = clickRow("PV1000001");
        QVERIFY(pRow);
        QTRY_VERIFY(child<QPushButton>("saveSnapBut")->isEnabled());
        QTest::mouseClick(child<QPushButton>("saveSnapBut"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(tipText(), QString("抓图成功"), kWaitMs);

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
        CAlarmMsgWnd* pRow = rowOf("PV1000002");
        QVERIFY(pRow);
        QTRY_VERIFY_WITH_TIMEOUT(pRow->HasPic(), kWaitMs);
        QVERIFY(pRow->IsDecrypted());
        CListCtrl* pList = unreadList();
        QTest::mouseClick(pList->viewport(), Qt::RightButton, {}, rectOf(pRow).center());
        QMenu* pMenu = pList->findChild<QMenu*>();
        QVERIFY(pMenu);
        QAction* pSave = nullptr;
        for (QAction* pAction : pMenu->actions()) {
            pSave = pAction->text() == "保存图片" ? pAction : pSave;
        }
        QVERIFY(pSave);
        pSave->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(tipText(), QString("抓图成功"), kWaitMs);

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
        QVERIFY(clickRow("PV1000001"));
        QTRY_VERIFY(child<QPushButton>("saveSnapBut")->isEnabled());
        {
            std::unique_ptr<FileSizeLimit> limit(sizeLimit ? new FileSizeLimit(sizeLimit) : nullptr);
            QTest::mouseClick(child<QPushButton>("saveSnapBut"), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(tipText(), tip, kWaitMs);
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
        QTRY_COMPARE_WITH_TIMEOUT(tipText(), QString("录像保存成功"), kWaitMs);
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
        QTRY_COMPARE(tipText(), QString("已取消保存录像"));
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
            QTRY_COMPARE_WITH_TIMEOUT(tipText(), QString("录像保存失败，磁盘空间不足"), kWaitMs);
        }
        QCOMPARE(FilesIn(m_strRecDir), QStringList());
        QVERIFY(!saveBar()->isVisible());
    }
};

QTEST_MAIN(TestSaving)
#include "tst_saving.moc"
