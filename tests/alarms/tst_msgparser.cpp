// The message-list reply: page arithmetic on whatever the platform sends, the
// encryption flag in the picture address, and records of the wrong shape.
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
        // The platform's worst: no division by zero or -1, nothing negative.
        QTest::newRow("INT_MIN by -1")
            << "\"page\":{\"pageNo\":-3,\"size\":-1,\"total\":-2147483648}" << 1 << 7 << 0;
        QTest::newRow("negative size keeps count")
            << "\"page\":{\"pageNo\":2,\"size\":-30,\"total\":61}" << 2 << 7 << 61;
        QTest::newRow("largest total") << "\"page\":{\"pageNo\":2147483647,\"size\":1,\"total\":2147483647}"
                                       << 2147483647 << 2147483647 << 2147483647;
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
        QTest::newRow("total beyond 32 bits") << "{\"data\":[],\"page\":{\"total\":3000000000}}";
        QTest::newRow("size as text") << "{\"data\":[],\"page\":{\"size\":\"30\"}}";
        QTest::newRow("1001 levels") << QString("{\"data\":") + QString(1001, '[');
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

    // A record is taken whole or left out: one of the wrong shape costs only
    // itself, and no value that does not fit is converted.
    void recordsOfTheWrongShapeAreLeftOut()
    {
        const qint64 nMs = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)).toMSecsSinceEpoch();
        const std::string strReply =
            QString(
                "{\"data\":[{\"id\":17,\"saasUserId\":2,\"userId\":3,\"alarmType\":\"移动侦测\","
                "\"alarmTime\":%1,\"picUrl\":\"https://h/p?a=1&isEncrypted=1&b=2\",\"deviceSerial\":\"D1\","
                "\"isRead\":0,\"deviceName\":\"大门\",\"channelNo\":2,\"createDate\":%1,"
                "\"ipcValidateCode\":\"abc=\"},"
                "{\"id\":\"not a number\"}, 7, {\"id\":3000000000}, {\"id\":5,\"channelNo\":-2147483649},"
                "{\"id\":6,\"alarmTime\":1e300}, {\"id\":8,\"alarmType\":{\"x\":1}},"
                "{\"id\":9,\"channelNo\":null}],"
                "\"page\":{\"pageNo\":1,\"size\":30,\"total\":8}}")
                .arg(nMs)
                .toStdString();
        std::vector<ALARM_INFO_STRUCT> msgs;
        int a = 0, b = 0, c = 0;
        std::string strReason;
        QVERIFY(CAlarmMsgParser::Parse(strReply, msgs, a, b, c, &strReason));
        QCOMPARE(strReason, std::string("records left out: 1,2,3,4,5,6"));
        QCOMPARE(int(msgs.size()), 2);
        const ALARM_INFO_STRUCT& first = msgs[0];
        QCOMPARE(first.id, 17);
        QCOMPARE(first.channelNo, 2);
        QCOMPARE(first.isRead, std::string("0"));
        QCOMPARE(first.isEncrypted, std::string("1"));
        QCOMPARE(first.alarmTimeText, QString("2026-03-04 05:06:07"));
        QCOMPARE(first.deviceName, QString("大门").toStdString());
        QCOMPARE(msgs[1].id, 9);
        QCOMPARE(msgs[1].channelNo, -1);
        QCOMPARE(msgs[1].isEncrypted, std::string("0"));
    }
};

QTEST_MAIN(TestMsgParser)
#include "tst_msgparser.moc"
