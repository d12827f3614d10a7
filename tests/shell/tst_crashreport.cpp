// What the crash callback reports: the usage event only with both usage-log
// addresses, and the dump file it names.
#include "logkit/LogKit.h"
#include "platform/CHttpClient.h"
#include "shell/MessageClient.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestCrashReport : public QObject
{
    Q_OBJECT
private slots:
    void firstDumpFileIgnoringCase()
    {
        QTemporaryDir dir;
        for (const char* szName : {"b.dmp", "A.DMP", "0.txt", "c.Dmp"}) {
            QFile file(dir.filePath(szName));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir(dir.path()).mkdir("0.dmp")); // a folder is not a dump
        QCOMPARE(MessageClient::FindDumpFile(dir.path()), QDir(dir.path()).absoluteFilePath("A.DMP"));
        QTemporaryDir empty;
        QCOMPARE(MessageClient::FindDumpFile(empty.path()), QString());
    }

    void usageEventNeedsBothAddresses()
    {
        logkit::startCapture();
        CHttpClient* pClient = CHttpClient::instance();
        pClient->m_strDcLogUrl = "https://127.0.0.1:1/dclog?type=";
        pClient->m_strCmDclogUrl.clear();
        pClient->HttpUpLoadDcLog("module=Message", "saas_pcclient_dmpinfo");
        QVERIFY(!logkit::captured("Buried Type"));

        pClient->m_strCmDclogUrl = "app=pc&ver=1";
        pClient->HttpUpLoadDcLog("module=Message", "saas_pcclient_dmpinfo");
        bool bFound = false;
        for (const auto& line : logkit::capturedLines()) {
            if (line.tag == "GlobalApplication" &&
                line.text.find("Buried Type:saas_pcclient_dmpinfo content:app=pc&ver=1&module=Message") !=
                    std::string::npos) {
                bFound = true;
            }
        }
        QVERIFY(bFound);
    }
};

QTEST_MAIN(TestCrashReport)
#include "tst_crashreport.moc"
