// The one safe reader of platform JSON on its edges, and every reader of the
// module fed text nested far past any sane depth.
#include "alarms/CAlarmMsgParser.h"
#include "platform/CJasonParse.h"
#include "platform/CSafeJson.h"
#include "playback/CRecordTable.h"

#include <QtTest>

namespace {

std::string Repeat(const std::string& strPart, int nTimes)
{
    std::string strText;
    for (int i = 0; i < nTimes; ++i) {
        strText += strPart;
    }
    return strText;
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
        const std::string strDeepest = Repeat("[", nMax) + Repeat("]", nMax);
        QTest::newRow("at the limit") << QByteArray::fromStdString(strDeepest) << true;
        QTest::newRow("one past it") << QByteArray::fromStdString("[" + strDeepest + "]") << false;
        QTest::newRow("100000 objects, unclosed")
            << QByteArray::fromStdString(Repeat("{\"a\":", 100000)) << false;
        QTest::newRow("brackets in strings do not count")
            << QByteArray::fromStdString("{\"a\":\"" + Repeat("[", 500) + "\\\"" + Repeat("{", 500) + "\"}")
            << true;
        // Closers in a comment fool the count; the parser's own limit then
        // stops it, and what it throws is caught.
        QTest::newRow("depth hidden by a comment")
            << QByteArray::fromStdString(Repeat("[", 60) + "/*" + Repeat("]", 60) + "*/" + Repeat("[", 60) +
                                         Repeat("]", 120))
            << false;
    }
    void nesting()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, ok);
        Json::Value root;
        std::string strReason;
        QCOMPARE(CSafeJson::Parse(text.toStdString(), root, &strReason), ok);
        QCOMPARE(strReason.empty(), ok);
    }

    void numbers_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("isInt");
        QTest::addColumn<bool>("isTime");
        QTest::newRow("INT_MIN") << QByteArray("-2147483648") << true << true;
        QTest::newRow("INT_MAX + 1") << QByteArray("2147483648") << false << true;
        QTest::newRow("2^63") << QByteArray("9223372036854775808") << false << false;
        QTest::newRow("integral double") << QByteArray("2.0") << true << true;
        QTest::newRow("fraction") << QByteArray("2.5") << false << true;
        QTest::newRow("1e300") << QByteArray("1e300") << false << false;
        QTest::newRow("text") << QByteArray("\"12\"") << false << false;
        QTest::newRow("bool") << QByteArray("true") << false << false;
    }
    void numbers()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, isInt);
        QFETCH(bool, isTime);
        Json::Value root;
        QVERIFY(CSafeJson::Parse("[" + json.toStdString() + "]", root));
        int nOut = -5;
        QCOMPARE(CSafeJson::ToInt(root[0], nOut), isInt);
        QVERIFY(isInt || nOut == -5);
        double dOut = 0;
        QCOMPARE(CSafeJson::ToDouble(root[0], dOut, CSafeJson::kMinTimeMs, CSafeJson::kMaxTimeMs), isTime);
        // A member asked of what is no object reads as absent, not a throw.
        QVERIFY(CSafeJson::Member(root, "a").isNull() && CSafeJson::Member(root[0], "a").isNull());
    }

    void everyReaderRefusesDeepText()
    {
        const std::string strDeep = Repeat("[", 1001);
        const std::string strEnvelope = "{\"code\":\"200\",\"data\":" + strDeep;
        CJasonParse parser;
        int nCode = 0, nChannel = 0, nTrust = 0, nOrg = 0, nPort = 0, a = 0, b = 0, c = 0;
        QString strMsg;
        std::string strToken, strRefresh, strAccess, strCodeText;
        PermissionMap table;
        std::vector<DEV_DETAIL_INFO> cameras;
        std::vector<ALARM_INFO_STRUCT> records;
        std::vector<RecordFile> files;
        QVERIFY(!parser.ParseCodeMsg(("{\"msg\":" + strDeep).c_str(), nCode, strMsg));
        QVERIFY(!parser.ParseToken(strEnvelope, strToken, strRefresh, strAccess, strCodeText));
        QVERIFY(!parser.ParsePermission(strEnvelope, table));
        QVERIFY(!parser.ParseCamInfo(strEnvelope, strToken, nChannel, nTrust));
        QVERIFY(!parser.ParseTopOrg(strEnvelope, nOrg));
        QVERIFY(!parser.ParseCamList(strEnvelope, cameras));
        QVERIFY(!parser.ParsePushServer("{\"ip\":" + strDeep, strToken, nPort));
        QVERIFY(!CAlarmMsgParser::Parse(strEnvelope, records, a, b, c));
        QVERIFY(
            !CRecordTable::ParseSearchResult(("{\"FileSize\":1,\"FileList\":" + strDeep).c_str(), a, files));
    }
};

QTEST_MAIN(TestSafeJson)
#include "tst_safejson.moc"
