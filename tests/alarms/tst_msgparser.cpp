// The message-list reply: page arithmetic, the encryption flag in the picture
// address, and records of odd shape that must not fail the page.
#include "alarms/CAlarmMsgParser.h"

#include <QDateTime>
#include <QtTest>

class TestMsgParser : public QObject
{
    Q_OBJECT
private slots:
    void pageArithmetic_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<int>("curPage");
        QTest::addColumn<int>("totalPage");
        QTest::addColumn<int>("totalNum");
        QTest::newRow("61 by 30") << "\"page\":{\"pageNo\":2,\"size\":30,\"total\":61}" << 2 << 3 << 61;
        QTest::newRow("60 by 30") << "\"page\":{\"pageNo\":1,\"size\":30,\"total\":60}" << 1 << 2 << 60;
        QTest::newRow("none") << "\"page\":{\"pageNo\":1,\"size\":30,\"total\":0}" << 1 << 0 << 0;
        QTest::newRow("size 0 keeps count")
            << "\"page\":{\"pageNo\":4,\"size\":0,\"total\":90}" << 4 << 7 << 90;
        QTest::newRow("no page keeps all") << "\"x\":1" << 5 << 7 << 9;
    }
    void pageArithmetic()
    {
        QFETCH(QString, page);
        QFETCH(int, curPage);
        QFETCH(int, totalPage);
        QFETCH(int, totalNum);
        std::vector<ALARM_INFO_STRUCT> msgs;
        int nCur = 5, nPages = 7, nTotal = 9;
        QVERIFY(CAlarmMsgParser::Parse(QString("{\"data\":[],%1}").arg(page).toStdString(), msgs, nCur,
                                       nPages, nTotal));
        QCOMPARE(nCur, curPage);
        QCOMPARE(nPages, totalPage);
        QCOMPARE(nTotal, totalNum);
    }

    void refusesWhatIsNotAPage_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::newRow("empty") << "";
        QTest::newRow("not json") << "<html>";
        QTest::newRow("no data") << "{\"code\":\"200\"}";
        QTest::newRow("data object") << "{\"data\":{\"id\":1}}";
        QTest::newRow("array root") << "[{\"data\":[]}]";
    }
    void refusesWhatIsNotAPage()
    {
        QFETCH(QString, reply);
        std::vector<ALARM_INFO_STRUCT> msgs;
        int a = 1, b = 1, c = 1;
        QVERIFY(!CAlarmMsgParser::Parse(reply.toStdString(), msgs, a, b, c));
    }

    void encryptedFlagFromPictureAddress()
    {
        QCOMPARE(CAlarmMsgParser::EncryptedFlag("https://h/p?k=1&isEncrypted=1&t=2"), std::string("1"));
        QCOMPARE(CAlarmMsgParser::EncryptedFlag("https://h/p?k=1&isEncrypted=0"), std::string("0"));
        QCOMPARE(CAlarmMsgParser::EncryptedFlag("&isEncrypted=1&t=2"), std::string("0"));
        QCOMPARE(CAlarmMsgParser::EncryptedFlag("https://h/p?isEncrypted=1"), std::string("0"));
        QCOMPARE(CAlarmMsgParser::EncryptedFlag(""), std::string("0"));
    }

    void recordsTakeWhatIsThere()
    {
        const qint64 nMs = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)).toMSecsSinceEpoch();
        const std::string strReply =
            QString(
                "{\"data\":[{\"id\":17,\"saasUserId\":2,\"userId\":3,\"alarmType\":\"移动侦测\","
                "\"alarmTime\":%1,"
                "                    "
                "\"picUrl\":\"https://h/p?a=1&isEncrypted=1&b=2\",\"deviceSerial\":\"D1\",\"isRead\":\"0\","
                "                    "
                "\"deviceName\":\"大门\",\"channelNo\":2,\"createDate\":%1,\"ipcValidateCode\":\"abc=\"},"
                "                   {\"id\":\"not a number\",\"channelNo\":null,\"alarmType\":{\"x\":1}}, 7],"
                "                    \"page\":{\"pageNo\":1,\"size\":30,\"total\":2}}")
                .arg(nMs)
                .toStdString();
        std::vector<ALARM_INFO_STRUCT> msgs;
        int a = 0, b = 0, c = 0;
        QVERIFY(CAlarmMsgParser::Parse(strReply, msgs, a, b, c));
        QCOMPARE(int(msgs.size()), 2);
        const ALARM_INFO_STRUCT& first = msgs[0];
        QCOMPARE(first.id, 17);
        QCOMPARE(first.channelNo, 2);
        QCOMPARE(first.isEncrypted, std::string("1"));
        QCOMPARE(first.alarmTimeText, QString("2026-03-04 05:06:07"));
        QCOMPARE(first.deviceName, QString("大门").toStdString());
        QCOMPARE(first.ipcValidateCode, std::string("abc="));
        const ALARM_INFO_STRUCT& odd = msgs[1];
        QCOMPARE(odd.id, -1);
        QCOMPARE(odd.channelNo, -1);
        QVERIFY(odd.alarmType.empty());
        QCOMPARE(odd.isEncrypted, std::string("0"));
    }
};

QTEST_MAIN(TestMsgParser)
#include "tst_msgparser.moc"
