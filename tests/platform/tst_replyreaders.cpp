// The one safe reader of platform JSON at its limits, and the token reply,
// which decides whether the login is renewed or lost (more in tests/fuzz).
#include "platform/CJasonParse.h"
#include "platform/CSafeJson.h"

#include <QtTest>

class TestReplyReaders : public QObject
{
    Q_OBJECT
private slots:
    void nesting_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("ok");
        const int nMax = CSafeJson::kMaxDepth;
        const QByteArray baDeepest = QByteArray(nMax, '[') + QByteArray(nMax, ']');
        QTest::newRow("at the limit") << baDeepest << true;
        QTest::newRow("one past it") << "[" + baDeepest + "]" << false;
        QTest::newRow("100000 objects, unclosed") << QByteArray("{\"a\":").repeated(100000) << false;
        QTest::newRow("brackets in strings do not count")
            << "{\"a\":\"" + QByteArray(500, '[') + "\\\"" + QByteArray(500, '{') + "\"}" << true;
        // Closers in a comment fool the count; the parser's own limit then
        // stops it, and what it throws is caught.
        QTest::newRow("depth hidden by a comment") << QByteArray(60, '[') + "/*" + QByteArray(60, ']') +
                                                          "*/" + QByteArray(60, '[') + QByteArray(120, ']')
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
        QTest::newRow("1e300") << QByteArray("1e300") << false << false;
        QTest::newRow("text") << QByteArray("\"12\"") << false << false;
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

    // A success without the pair would hand the host empty tokens: a failed
    // refresh instead, and the login stays as it was.
    void tokenReply_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("tokens"); // token, refresh and access token afterwards
        QTest::newRow("number 200")
            << R"({"code":200,"data":{"token":"t2","refreshToken":"r2","accessToken":"a2"}})" << true << "200"
            << "t2r2a2";
        QTest::newRow("no access token keeps it")
            << R"({"code":"200","data":{"token":"t2","refreshToken":"r2"}})" << true << "200"
            << "t2r2a1";
        QTest::newRow("refused") << R"({"code":20027})" << false << "20027"
                                 << "t1r1a1";
        QTest::newRow("empty token") << R"({"code":"200","data":{"token":"","refreshToken":"r2"}})" << false
                                     << "200"
                                     << "t1r1a1";
        QTest::newRow("no refresh token") << R"({"code":"200","data":{"token":"t2"}})" << false << "200"
                                          << "t1r1a1";
    }
    void tokenReply()
    {
        QFETCH(QString, reply);
        QFETCH(bool, ok);
        QFETCH(QString, code);
        QFETCH(QString, tokens);
        std::string strToken = "t1", strRefresh = "r1", strAccess = "a1", strCode = "old";
        QCOMPARE(CJasonParse().ParseToken(reply.toStdString(), strToken, strRefresh, strAccess, strCode), ok);
        QCOMPARE(QString::fromStdString(strCode), code);
        QCOMPARE(QString::fromStdString(strToken + strRefresh + strAccess), tokens);
    }
};

QTEST_APPLESS_MAIN(TestReplyReaders)
#include "tst_replyreaders.moc"
