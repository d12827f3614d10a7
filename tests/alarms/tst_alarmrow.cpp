// The alarm row without a server: the platform's encrypted verification code,
// the camera-information reply, the deletion tick and the row's texts.
#include "alarms/AlarmShared.h"
#include "alarms/CAlarmMsgWnd.h"
#include "alarms/CValidateCode.h"

#include <QCheckBox>
#include <QSignalSpy>
#include <QtTest>

#include <openssl/evp.h>

namespace {

// The platform's side: one AES-128-ECB block, no padding, key zero-filled.
std::string EncryptBlock(const std::string& strPlain16, const std::string& strKey)
{
    unsigned char key[16] = {};
    std::copy_n(strKey.begin(), std::min<size_t>(strKey.size(), 16), key);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr, key, nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    unsigned char out[32] = {};
    int nOut = 0;
    EVP_EncryptUpdate(ctx, out, &nOut, reinterpret_cast<const unsigned char*>(strPlain16.data()), 16);
    EVP_CIPHER_CTX_free(ctx);
    return std::string(reinterpret_cast<char*>(out), 16);
}

std::string PlatformCode(const std::string& strCode, const std::string& strKey)
{
    const char chFill = static_cast<char>(16 - strCode.size());
    const std::string strBlock = EncryptBlock(strCode + std::string(16 - strCode.size(), chFill), strKey);
    return QByteArray::fromStdString(strBlock).toBase64().toStdString();
}

const std::string kKey = "0123456789abcdef";

// A record that loads no picture, so the row stays off the network.
ALARM_INFO_STRUCT QuietRecord(int nId, const std::string& strSerial = "PV9", int nChannel = 2)
{
    ALARM_INFO_STRUCT info;
    info.id = nId;
    info.deviceSerial = strSerial;
    info.channelNo = nChannel;
    info.isEncrypted = "";
    info.isRead = "0";
    info.alarmType = "移动侦测告警";
    info.alarmTimeText = "2026-01-02 03:04:05";
    info.deviceName = "东门";
    return info;
}

} // namespace

class TestAlarmRow : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        DeleteIdList().clear();
        DevCodeMap().clear();
    }

    void platformCodeDecrypts_data()
    {
        QTest::addColumn<QString>("code");
        QTest::newRow("6 characters, 0x0A fill") << "QWERTY";
        QTest::newRow("8 characters, 0x08 fill") << "HK8D2MZP";
        QTest::newRow("8 digits") << "12345678";
    }
    void platformCodeDecrypts()
    {
        QFETCH(QString, code);
        const std::string strCode = code.toStdString();
        QCOMPARE(CValidateCode::Decrypt(PlatformCode(strCode, kKey), kKey), strCode);
    }

    void platformCodeKeyHandling()
    {
        // Only the first 16 bytes of the key count; a longer one is cut.
        const std::string strLongKey = kKey + std::string(40, 'Z');
        QCOMPARE(CValidateCode::Decrypt(PlatformCode("QWERTY", kKey), strLongKey), std::string("QWERTY"));
        // A short key is filled with zeros on both sides.
        QCOMPARE(CValidateCode::Decrypt(PlatformCode("ABCDEF", "k1"), "k1"), std::string("ABCDEF"));
        // Bytes after the first block are ignored.
        const std::string strTwoBlocks =
            QByteArray::fromBase64(QByteArray::fromStdString(PlatformCode("SHELF8", kKey))).toStdString() +
            std::string(16, 'x');
        QCOMPARE(
            CValidateCode::Decrypt(QByteArray::fromStdString(strTwoBlocks).toBase64().toStdString(), kKey),
            std::string("SHELF8"));
    }

    void platformCodeRefusesDamagedText_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not base64") << QByteArray("@@@@####$$$$%%%%^^^^&&&&");
        QTest::newRow("3 bytes") << QByteArray("QUJD");
        QTest::newRow("15 bytes") << QByteArray(15, 'a').toBase64();
        QTest::newRow("base64 with junk inside") << QByteArray("QUJDREVGR0hJSktMTU5PUA==!!");
    }
    void platformCodeRefusesDamagedText()
    {
        QFETCH(QByteArray, text);
        QCOMPARE(CValidateCode::Decrypt(text.toStdString(), kKey), std::string());
    }

    void camInfoReply_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("trust"); // -1: ignored
        QTest::newRow("trusted")
            << QByteArray(R"({"code":"200","data":{"deviceSerial":"PV9","channelNo":2,"isTrust":1}})") << 1;
        QTest::newRow("not trusted")
            << QByteArray(R"({"code":"200","data":{"deviceSerial":"PV9","channelNo":2,"isTrust":0}})") << 0;
        QTest::newRow("no isTrust") << QByteArray(
                                           R"({"code":"200","data":{"deviceSerial":"PV9","channelNo":2}})")
                                    << 0;
        QTest::newRow("code as number")
            << QByteArray(R"({"code":200,"data":{"deviceSerial":"PV9","channelNo":2,"isTrust":1}})") << -1;
        QTest::newRow("other code") << QByteArray(R"({"code":"20018","msg":"no camera"})") << -1;
        QTest::newRow("other serial")
            << QByteArray(R"({"code":"200","data":{"deviceSerial":"PV8","channelNo":2,"isTrust":1}})") << -1;
        QTest::newRow("other channel")
            << QByteArray(R"({"code":"200","data":{"deviceSerial":"PV9","channelNo":3,"isTrust":1}})") << -1;
        QTest::newRow("channel as text")
            << QByteArray(R"({"code":"200","data":{"deviceSerial":"PV9","channelNo":"2","isTrust":1}})")
            << -1;
        QTest::newRow("data array") << QByteArray(R"({"code":"200","data":[1,2]})") << -1;
        QTest::newRow("channel beyond 32 bits")
            << QByteArray(
                   R"({"code":"200","data":{"deviceSerial":"PV9","channelNo":3000000000,"isTrust":1}})")
            << -1;
        QTest::newRow("isTrust as text")
            << QByteArray(R"({"code":"200","data":{"deviceSerial":"PV9","channelNo":2,"isTrust":"1"}})")
            << -1;
        QTest::newRow("1001 levels") << QByteArray(R"({"code":"200","data":)") + QByteArray(1001, '[') << -1;
        QTest::newRow("root array") << QByteArray(R"([{"code":"200"}])") << -1;
        QTest::newRow("not json") << QByteArray("<html>") << -1;
        QTest::newRow("empty") << QByteArray() << -1;
    }
    void camInfoReply()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, trust);
        CAlarmMsgWnd row(nullptr);
        row.SetAlarmInfo(QuietRecord(1));
        QSignalSpy spy(&row, &CAlarmMsgWnd::sigCamInfoUpdate);
        row.ParseCamInfo(body);
        QCOMPARE(row.GetAlarmInfo().nTrust, trust);
        if (trust < 0) {
            QCOMPARE(spy.count(), 0);
        } else {
            QCOMPARE(spy.count(), 1);
            QCOMPARE(spy.at(0).at(0).toString(), QString("PV9"));
            QCOMPARE(spy.at(0).at(1).toInt(), 2);
            QCOMPARE(spy.at(0).at(2).toInt(), trust);
        }
    }

    void tickKeepsDeleteIdList()
    {
        CAlarmMsgWnd rowA(nullptr);
        CAlarmMsgWnd rowB(nullptr);
        rowA.SetAlarmInfo(QuietRecord(5));
        rowB.SetAlarmInfo(QuietRecord(7));
        QSignalSpy spyA(&rowA, &CAlarmMsgWnd::sigMsgToDelete);
        auto* pBoxA = rowA.findChild<QCheckBox*>("delSelectedCtrl");
        auto* pBoxB = rowB.findChild<QCheckBox*>("delSelectedCtrl");
        QVERIFY(pBoxA && pBoxB);
        QVERIFY(!pBoxA->isVisibleTo(&rowA));

        rowA.SetCheckBoxVisible(true);
        rowB.SetCheckBoxVisible(true);
        QVERIFY(pBoxA->isVisibleTo(&rowA));
        pBoxA->click();
        pBoxB->click();
        QVERIFY(rowA.IsChecked());
        QCOMPARE(DeleteIdList(), (QList<int>{5, 7}));
        QCOMPARE(spyA.count(), 1);

        // Ticking again (a page coming back) does not list the id twice.
        rowA.SetChecked(true);
        QCOMPARE(DeleteIdList(), (QList<int>{5, 7}));

        pBoxA->click();
        QVERIFY(!rowA.IsChecked());
        QCOMPARE(DeleteIdList(), QList<int>{7});
        QCOMPARE(spyA.count(), 3);

        // Leaving deletion mode unticks without touching the list the
        // window may still be sending.
        rowB.SetCheckBoxVisible(false);
        QVERIFY(!rowB.IsChecked());
        QVERIFY(!pBoxB->isChecked());
        QVERIFY(!pBoxB->isVisibleTo(&rowB));
        QCOMPARE(DeleteIdList(), QList<int>{7});
    }

    void devCodeLookup()
    {
        DevCodeMap()["PV1"] = "SERIAL";
        QCOMPARE(FindDevCode("PV1", 1), std::string("SERIAL"));
        DevCodeMap()[DevCodeKey("PV1", 1)] = "CHANNEL";
        QCOMPARE(DevCodeKey("PV1", 1), std::string("PV11"));
        QCOMPARE(FindDevCode("PV1", 1), std::string("CHANNEL"));
        QCOMPARE(FindDevCode("PV1", 2), std::string("SERIAL"));
        QCOMPARE(FindDevCode("PV2", 1), std::string());
    }
};

QTEST_MAIN(TestAlarmRow)
#include "tst_alarmrow.moc"
