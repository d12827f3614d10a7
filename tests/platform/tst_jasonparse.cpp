// Reply parsing: what counts as success, what is written, and that replies of
// the wrong shape fail without touching the outputs.
#include "platform/CJasonParse.h"
#include "platform/CPlatformRequest.h"

#include <QtTest>

class TestJasonParse : public QObject
{
    Q_OBJECT
private slots:
    void codeAndMessage()
    {
        CJasonParse parser;
        int nCode = -7;
        QString strMsg = "untouched";
        QVERIFY(!parser.ParseCodeMsg(nullptr, nCode, strMsg));
        QVERIFY(!parser.ParseCodeMsg("<html>401</html>", nCode, strMsg));
        QVERIFY(!parser.ParseCodeMsg("{\"code\":[401],\"msg\":\"x\"}", nCode, strMsg));
        QVERIFY(!parser.ParseCodeMsg("{\"code\":{\"a\":1}}", nCode, strMsg));
        QCOMPARE(nCode, -7);
        QCOMPARE(strMsg, QString("untouched"));

        QVERIFY(parser.ParseCodeMsg("{\"code\":401,\"msg\":\"账号在别处登录\"}", nCode, strMsg));
        QCOMPARE(nCode, 401);
        QCOMPARE(strMsg, QString("账号在别处登录"));
        QVERIFY(parser.ParseCodeMsg("{\"msg\":\"no code\"}", nCode, strMsg));
        QCOMPARE(nCode, 0);
    }

    void tokenReply_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("tokens"); // token, refresh and access token afterwards
        QTest::newRow("text 200")
            << "{\"code\":\"200\",\"data\":{\"token\":\"t2\",\"refreshToken\":\"r2\",\"accessToken\":\"a2\"}}"
            << true << "200"
            << "t2r2a2";
        QTest::newRow("number 200")
            << "{\"code\":200,\"data\":{\"token\":\"t2\",\"refreshToken\":\"r2\",\"accessToken\":\"a2\"}}"
            << true << "200"
            << "t2r2a2";
        QTest::newRow("no access token keeps it")
            << "{\"code\":\"200\",\"data\":{\"token\":\"t2\",\"refreshToken\":\"r2\"}}" << true << "200"
            << "t2r2a1";
        QTest::newRow("text 20027") << "{\"code\":\"20027\",\"msg\":\"refresh token invalid\"}" << false
                                    << "20027"
                                    << "t1r1a1";
        QTest::newRow("number 20027") << "{\"code\":20027}" << false << "20027"
                                      << "t1r1a1";
        // A success without the pair is a failed refresh: the login stays.
        QTest::newRow("no data") << "{\"code\":\"200\"}" << false << "200"
                                 << "t1r1a1";
        QTest::newRow("empty token")
            << "{\"code\":\"200\",\"data\":{\"token\":\"\",\"refreshToken\":\"r2\",\"accessToken\":\"a2\"}}"
            << false << "200"
            << "t1r1a1";
        QTest::newRow("no refresh token")
            << "{\"code\":\"200\",\"data\":{\"token\":\"t2\",\"accessToken\":\"a2\"}}" << false << "200"
            << "t1r1a1";
        QTest::newRow("token array")
            << "{\"code\":\"200\",\"data\":{\"token\":[\"t\"],\"refreshToken\":\"r\",\"accessToken\":\"a\"}}"
            << false << "200"
            << "t1r1a1";
        QTest::newRow("data array") << "{\"code\":\"200\",\"data\":[1]}" << false << "200"
                                    << "t1r1a1";
        QTest::newRow("code object") << "{\"code\":{\"v\":200}}" << false << "old"
                                     << "t1r1a1";
        QTest::newRow("not json") << "Bad Gateway" << false << "old"
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

    void permissions()
    {
        CJasonParse parser;
        PermissionMap table;
        QVERIFY(parser.ParsePermission("{\"code\":\"200\",\"data\":[{\"id\":9,\"name\":\"消息\","
                                       "\"permission\":1},{\"id\":9,\"name\":\"dup\",\"permission\":0},"
                                       "                {\"id\":3,\"name\":\"x\",\"permission\":2}]}",
                                       table));
        QCOMPARE(int(table.size()), 2);
        QCOMPARE(table.at(9).name, QString("消息").toStdString());
        QCOMPARE(table.at(9).permission, 1);
        QVERIFY(parser.HasPermission(9, table));
        QVERIFY(!parser.HasPermission(8, table));

        // Failures keep the table as it was.
        QVERIFY(!parser.ParsePermission("{\"code\":\"200\",\"data\":{\"id\":1}}", table));
        QVERIFY(!parser.ParsePermission("{\"code\":\"500\",\"data\":[]}", table));
        QVERIFY(!parser.ParsePermission("{\"code\":\"200\"}", table));
        QVERIFY(!parser.ParsePermission("{\"code\":\"200\",\"data\":[{\"id\":\"nine\"}]}", table));
        QVERIFY(!parser.ParsePermission("{\"code\":\"200\",\"data\":[{\"id\":3000000000}]}", table));
        QVERIFY(!parser.ParsePermission("not json", table));
        QCOMPARE(int(table.size()), 2);

        QVERIFY(parser.ParsePermission("{\"code\":200,\"data\":[]}", table));
        QVERIFY(table.empty());
    }

    void tokensAreMaskedInLoggedReplies()
    {
        const std::string strMasked =
            CPlatformRequest::MaskTokens("{\"code\":\"200\",\"data\":{\"token\":\"abcdef\",\"refreshToken\": "
                                         "\"xyz123\",\"accessToken\":\"q\"}}");
        QVERIFY(strMasked.find("abcdef") == std::string::npos);
        QVERIFY(strMasked.find("xyz123") == std::string::npos);
        QVERIFY(strMasked.find("\"token\":\"ab***\"") != std::string::npos);
        QVERIFY(strMasked.find("\"code\":\"200\"") != std::string::npos);
    }
};

QTEST_MAIN(TestJasonParse)
#include "tst_jasonparse.moc"
