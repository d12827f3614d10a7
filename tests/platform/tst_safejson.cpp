// The one safe reader of platform JSON on its edges (nesting, numbers that do
// not fit, wrong types), and every reader of the module fed text that used to
// throw out of jsoncpp.
#include "alarms/CAlarmMsgParser.h"
#include "platform/CJasonParse.h"
#include "platform/CSafeJson.h"
#include "playback/CRecordTable.h"

#include <QtTest>

namespace {

std::string Nested(int nDepth, const std::string& strOpen = "[")
{
    std::string strText;
    for (int i = 0; i < nDepth; ++i) {
        strText += strOpen;
    }
    return strText;
}

Json::Value Value(const char* szJson)
{
    Json::Value value;
    CSafeJson::Parse(std::string("[") + szJson + "]", value);
    return value[0];
}

} // namespace

class TestSafeJson : public QObject
{
    Q_OBJECT
private slots:
    void nesting_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("ok");
        const int nMax = CSafeJson::kMaxDepth;
        const std::string strDeepest = Nested(nMax) + std::string(static_cast<size_t>(nMax), ']');
        QTest::newRow("at the limit") << QByteArray::fromStdString(strDeepest) << true;
        QTest::newRow("one past it") << QByteArray::fromStdString("[" + strDeepest + "]") << false;
        QTest::newRow("1001 under data, unclosed")
            << QByteArray::fromStdString("{\"data\":" + Nested(1001)) << false;
        QTest::newRow("100000 objects") << QByteArray::fromStdString(Nested(100000, "{\"a\":")) << false;
        QTest::newRow("brackets in strings do not count")
            << QByteArray::fromStdString("{\"a\":\"" + Nested(500) + "\\\"" + Nested(500, "{") + "\"}")
            << true;
        // Closers hidden in a comment fool the count; the parser's own limit
        // then stops it, and what it throws is caught.
        QTest::newRow("comment hides the depth")
            << QByteArray::fromStdString(Nested(60) + "/*" + std::string(60, ']') + "*/" + Nested(60) +
                                         std::string(120, ']'))
            << false;
        QTest::newRow("not JSON") << QByteArray("<html>") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void nesting()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, ok);
        Json::Value root(42);
        std::string strReason;
        QCOMPARE(CSafeJson::Parse(text.toStdString(), root, &strReason), ok);
        QCOMPARE(strReason.empty(), ok);
        if (!ok) {
            QVERIFY(root.isNull());
        }
    }

    void numbers_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("isInt");
        QTest::addColumn<bool>("isTime");
        QTest::newRow("ordinary") << QByteArray("17") << true << true;
        QTest::newRow("INT_MIN") << QByteArray("-2147483648") << true << true;
        QTest::newRow("INT_MAX + 1") << QByteArray("2147483648") << false << true;
        QTest::newRow("3000000000") << QByteArray("3000000000") << false << true;
        QTest::newRow("2^63") << QByteArray("9223372036854775808") << false << false;
        QTest::newRow("2^64 - 1") << QByteArray("18446744073709551615") << false << false;
        QTest::newRow("integral double") << QByteArray("2.0") << true << true;
        QTest::newRow("fraction") << QByteArray("2.5") << false << true;
        QTest::newRow("1e300") << QByteArray("1e300") << false << false;
        QTest::newRow("-1e300") << QByteArray("-1e300") << false << false;
        QTest::newRow("text") << QByteArray("\"12\"") << false << false;
        QTest::newRow("bool") << QByteArray("true") << false << false;
        QTest::newRow("null") << QByteArray("null") << false << false;
        QTest::newRow("array") << QByteArray("[1]") << false << false;
    }
    void numbers()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, isInt);
        QFETCH(bool, isTime);
        const Json::Value value = Value(json.constData());
        int nOut = -5;
        QCOMPARE(CSafeJson::ToInt(value, nOut), isInt);
        if (!isInt) {
            QCOMPARE(nOut, -5);
        }
        double dOut = -5;
        QCOMPARE(CSafeJson::ToDouble(value, dOut, CSafeJson::kMinTimeMs, CSafeJson::kMaxTimeMs), isTime);
    }

    void rangesAndTexts()
    {
        int nPort = 0;
        QVERIFY(CSafeJson::ToInt(Value("65535"), nPort, 1, 65535));
        QVERIFY(!CSafeJson::ToInt(Value("65536"), nPort, 1, 65535));
        QVERIFY(!CSafeJson::ToInt(Value("0"), nPort, 1, 65535));
        QCOMPARE(nPort, 65535);

        std::string strText;
        QVERIFY(CSafeJson::ToText(Value("200"), strText) && strText == "200");
        QVERIFY(CSafeJson::ToText(Value("\"x\""), strText) && strText == "x");
        QVERIFY(!CSafeJson::ToText(Value("{\"a\":1}"), strText));
        QVERIFY(!CSafeJson::ToText(Value("null"), strText));

        // Members of what is not an object read as absent instead of throwing.
        QVERIFY(CSafeJson::Member(Value("[1,2]"), "a").isNull());
        QVERIFY(CSafeJson::Member(Value("7"), "a").isNull());
        int nKept = 3;
        QVERIFY(CSafeJson::OptInt(Value("{\"a\":null}"), "a", nKept) && nKept == 3);
        QVERIFY(!CSafeJson::OptInt(Value("{\"a\":\"3\"}"), "a", nKept));
        Json::Value root;
        QVERIFY(!CSafeJson::ParseObject("[1]", root));
    }

    // Each reader of the module on text nested past the limit, in the member
    // it reads: refused, no exception.
    void everyReaderRefusesDeepText()
    {
        const std::string strDeep = Nested(1001);
        const std::string strEnvelope = "{\"code\":\"200\",\"data\":" + strDeep;
        CJasonParse parser;
        int nCode = 0;
        QString strMsg;
        QVERIFY(!parser.ParseCodeMsg(("{\"code\":401,\"msg\":" + strDeep).c_str(), nCode, strMsg));
        std::string strToken, strRefresh, strAccess, strCodeText;
        QVERIFY(!parser.ParseToken(strEnvelope, strToken, strRefresh, strAccess, strCodeText));
        PermissionMap table;
        QVERIFY(!parser.ParsePermission(strEnvelope, table));
        std::string strSerial;
        int nChannel = 0;
        int nTrust = 0;
        QVERIFY(!parser.ParseCamInfo(strEnvelope, strSerial, nChannel, nTrust));
        int nOrg = -1;
        QVERIFY(!parser.ParseTopOrg(strEnvelope, nOrg));
        std::vector<DEV_DETAIL_INFO> cameras;
        QVERIFY(!parser.ParseCamList(strEnvelope, cameras));
        int nPort = 0;
        QVERIFY(!parser.ParsePushServer("{\"ip\":" + strDeep, strSerial, nPort));
        std::vector<ALARM_INFO_STRUCT> records;
        int a = 0, b = 0, c = 0;
        QVERIFY(!CAlarmMsgParser::Parse(strEnvelope, records, a, b, c));
        int nFiles = 0;
        std::vector<RecordFile> files;
        QVERIFY(!CRecordTable::ParseSearchResult(("{\"FileSize\":1,\"FileList\":" + strDeep).c_str(), nFiles,
                                                 files));
    }
};

QTEST_MAIN(TestSafeJson)
#include "tst_safejson.moc"
