// Authentication, token refresh, permissions, directory and fault injection of the platform simulator.
#include "SimHttp.h"
#include "SimulatorProcess.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

class TestSimPlatform : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void refusalsOfBadTokens();
    void takenOverLoginAnswers401WithCode401();
    void tokenRefreshAndUnknownRefreshToken();
    void menuPermissions();
    void organisationTreeAndCameraSearch();
    void cameraInfoAndCodeUpdate();
    void pushServerInfoAnswersBare();
    void requestsAreRecordedAsSent();
    void faultInjection();
    void adminCallsNeedTheRunsToken();

private:
    HttpResult post(const char* path, const QByteArray& body, const QString& token)
    {
        return m_http->post(m_sim.baseUrl() + path, body, token);
    }

    SimulatorProcess m_sim;
    std::unique_ptr<SimHttp> m_http;
};

void TestSimPlatform::initTestCase()
{
    QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
    m_http = std::make_unique<SimHttp>(m_sim.caFile());
}

void TestSimPlatform::refusalsOfBadTokens()
{
    const QByteArray body = "{\"clientType\":4,\"pageNo\":1,\"pageSize\":30}";
    HttpResult ok = post("/api/msg/list", body, m_sim.token());
    QCOMPARE(ok.status, 200);

    for (const QString& token : {QString("unknown"), QString(), m_sim.accessToken()}) {
        HttpResult r = post("/api/msg/list", body, token);
        QCOMPARE(r.status, 401);
        QVERIFY(r.json().value("code").isDouble());
        QVERIFY(r.json().value("code").toInt() != 401);
    }
    HttpResult noType =
        m_http->post(m_sim.baseUrl() + "/api/msg/list", body, m_sim.token(), "application/json", false);
    QCOMPARE(noType.status, 403);

    // An expired token: 401 with another code, not the login-elsewhere answer.
    SimulatorProcess own{{"--seed", "none"}};
    QVERIFY(own.start());
    SimHttp http(own.caFile());
    QVERIFY(own.expireToken(own.token()));
    HttpResult expired = http.post(own.baseUrl() + "/api/org/tree", "{\"clientType\":4}", own.token());
    QCOMPARE(expired.status, 401);
    QCOMPARE(expired.json().value("code").toInt(), 10002);
    QVERIFY(own.revokeToken(own.secondUserToken()));
    QCOMPARE(http.post(own.baseUrl() + "/api/org/tree", "{}", own.secondUserToken()).status, 401);
    QVERIFY(!own.expireToken("no-such-token"));
}

void TestSimPlatform::takenOverLoginAnswers401WithCode401()
{
    QString token = m_sim.secondUserToken();
    QVERIFY(m_sim.takeOverLogin(token, QStringLiteral("账号在另一台电脑登录")));
    HttpResult r = post("/api/user/member/app/menu/info", "{\"clientType\":4}", token);
    QCOMPARE(r.status, 401);
    QCOMPARE(r.json().value("code").toInt(), 401);
    QCOMPARE(r.json().value("msg").toString(), QString("账号在另一台电脑登录"));
}

void TestSimPlatform::tokenRefreshAndUnknownRefreshToken()
{
    SimulatorProcess own{{"--seed", "none"}};
    QVERIFY(own.start());
    SimHttp http(own.caFile());
    auto refresh = [&](const QString& refreshToken) {
        QJsonObject body{{"clientType", 4}, {"refreshToken", refreshToken}};
        // The refresh carries no Authorization header.
        return http.post(own.baseUrl() + "/api/user/app/refresh/token",
                         QJsonDocument(body).toJson(QJsonDocument::Compact), QString());
    };
    QVERIFY(own.expireToken(own.token()));
    HttpResult r = refresh(own.refreshToken());
    QCOMPARE(r.status, 200);
    QCOMPARE(r.json().value("code").toString(), QString("200"));
    QJsonObject data = r.json().value("data").toObject();
    QString token = data.value("token").toString();
    QVERIFY(!token.isEmpty() && token != own.token());
    QVERIFY(!data.value("refreshToken").toString().isEmpty());
    QVERIFY(!data.value("accessToken").toString().isEmpty());
    QCOMPARE(http.post(own.baseUrl() + "/api/org/tree", "{}", token).status, 200);

    // The new access token opens the device cloud.
    HttpResult records =
        http.get(own.cloudUrl() + "/v1/records?device=PV1000001&channel=1&start=2020-01-01%2000:00:00"
                                  "&end=2020-01-01%2000:01:00",
                 data.value("accessToken").toString());
    QCOMPARE(records.status, 200);

    // A used refresh token is gone, as is one never issued.
    QCOMPARE(refresh(own.refreshToken()).json().value("code").toString(), QString("20027"));
    QCOMPARE(refresh("nonsense").json().value("code").toString(), QString("20027"));
    QCOMPARE(refresh(data.value("refreshToken").toString()).json().value("code").toString(), QString("200"));
    HttpResult bad = http.post(own.baseUrl() + "/api/user/app/refresh/token", "{oops", QString());
    QCOMPARE(bad.status, 400);
}

void TestSimPlatform::menuPermissions()
{
    auto ids = [&](const QString& token) {
        QList<int> out;
        for (const QJsonValue& v : post("/api/user/member/app/menu/info", "{\"clientType\":4}", token)
                                       .json()
                                       .value("data")
                                       .toArray())
            out << v.toObject().value("id").toInt();
        return out;
    };
    QVERIFY(ids(m_sim.token()).contains(9));
    SimulatorProcess own{{"--seed", "none"}};
    QVERIFY(own.start());
    SimHttp http(own.caFile());
    QJsonObject second = http.post(own.baseUrl() + "/api/user/member/app/menu/info", "{\"clientType\":4}",
                                   own.secondUserToken())
                             .json();
    QCOMPARE(second.value("code").toString(), QString("200"));
    QVERIFY(!second.value("data").toArray().isEmpty());
    for (const QJsonValue& v : second.value("data").toArray())
        QVERIFY(v.toObject().value("id").toInt() != 9);
}

void TestSimPlatform::organisationTreeAndCameraSearch()
{
    QJsonObject tree = post("/api/org/tree", "{\"clientType\":4}", m_sim.token()).json();
    QCOMPARE(tree.value("code").toString(), QString("200"));
    QJsonObject top = tree.value("data").toArray().first().toObject();
    QVERIFY(top.contains("id"));
    QVERIFY(!top.value("children").toArray().isEmpty());

    auto search = [&](int orgId, const QString& name, int pageSize = 30) {
        QJsonObject body{{"clientType", 4},
                         {"orgId", orgId},
                         {"pageNo", 1},
                         {"pageSize", pageSize},
                         {"channelName", name}};
        return post("/api/resource/v2/camera/list/page", QJsonDocument(body).toJson(QJsonDocument::Compact),
                    m_sim.token())
            .json();
    };
    QJsonObject all = search(top.value("id").toInt(), "");
    QCOMPARE(all.value("data").toArray().size(), 12);
    QJsonObject park = search(top.value("id").toInt(), "停车场");
    QCOMPARE(park.value("data").toArray().size(), 2);
    for (const QJsonValue& v : park.value("data").toArray()) {
        QVERIFY(v.toObject().value("channelName").toString().contains("停车场"));
        QVERIFY(v.toObject().contains("deviceSerial"));
        QVERIFY(v.toObject().contains("channelNo"));
    }
    // An organisation below the top sees only its own subtree.
    QCOMPARE(search(3, "").value("data").toArray().size(), 3);
    QJsonObject paged = search(top.value("id").toInt(), "", 5);
    QCOMPARE(paged.value("data").toArray().size(), 5);
    QCOMPARE(paged.value("page").toObject().value("total").toInt(), 12);
    QCOMPARE(search(top.value("id").toInt(), "没有这个名字").value("data").toArray().size(), 0);
}

void TestSimPlatform::cameraInfoAndCodeUpdate()
{
    auto info = [&](const QString& serial, int channel) {
        QJsonObject body{{"clientType", 4}, {"deviceSerial", serial}, {"channelNo", channel}};
        return post("/api/resource/v2/camera/info", QJsonDocument(body).toJson(QJsonDocument::Compact),
                    m_sim.token())
            .json();
    };
    QJsonObject trusted = info("PV1000005", 1);
    QVERIFY(trusted.value("code").isString());
    QCOMPARE(trusted.value("code").toString(), QString("200"));
    QCOMPARE(trusted.value("data").toObject().value("isTrust").toInt(), 1);
    QCOMPARE(trusted.value("data").toObject().value("deviceSerial").toString(), QString("PV1000005"));
    QCOMPARE(info("PV1000001", 1).value("data").toObject().value("isTrust").toInt(), 0);
    QVERIFY(info("NOPE", 1).value("code").toString() != QString("200"));

    QJsonObject update{
        {"deviceSerial", "PV1000004"}, {"channelNo", 1}, {"ipcValidateCode", "ZXCVBN"}, {"clientType", 4}};
    QCOMPARE(post("/api/resource/camera/modify/validatecode",
                  QJsonDocument(update).toJson(QJsonDocument::Compact), m_sim.token())
                 .json()
                 .value("code")
                 .toString(),
             QString("200"));
    bool stored = false;
    for (const QJsonValue& c : m_sim.cameras()) {
        if (c.toObject().value("deviceSerial").toString() == "PV1000004")
            stored = c.toObject().value("platformCode").toString() == "ZXCVBN";
    }
    QVERIFY(stored);
    update["ipcValidateCode"] = QString(40, 'x');
    QCOMPARE(post("/api/resource/camera/modify/validatecode",
                  QJsonDocument(update).toJson(QJsonDocument::Compact), m_sim.token())
                 .status,
             400);
}

void TestSimPlatform::pushServerInfoAnswersBare()
{
    HttpResult r = m_http->post(m_sim.baseUrl() + "/api/message/push/server/info",
                                "macAddress=00:11:22:33:44:55test&accessToken=" + m_sim.token().toUtf8(),
                                m_sim.token(), "application/x-www-form-urlencoded");
    QCOMPARE(r.status, 200);
    QCOMPARE(r.json().value("ip").toString(), QString("127.0.0.1"));
    QCOMPARE(r.json().value("port").toInt(), m_sim.pushPort());
    QVERIFY(!r.json().contains("code"));
}

void TestSimPlatform::requestsAreRecordedAsSent()
{
    const QByteArray body = "{\"clientType\":4,\"note\":\"a } inside\"}";
    post("/api/org/tree", body, m_sim.token());
    QJsonArray seen = m_sim.lastRequests("/api/org/tree", 1);
    QCOMPARE(seen.size(), 1);
    QJsonObject request = seen.first().toObject();
    QCOMPARE(request.value("method").toString(), QString("POST"));
    QCOMPARE(request.value("body").toString().toUtf8(), body);
    QStringList names;
    for (const QJsonValue& h : request.value("headers").toArray())
        names << h.toArray().first().toString();
    // The order the client set them in, not the server's sorted view.
    int userType = names.indexOf("userType");
    int contentType = names.indexOf("Content-Type");
    int authorization = names.indexOf("Authorization");
    QVERIFY(userType >= 0 && contentType > userType && authorization > contentType);
}

void TestSimPlatform::faultInjection()
{
    const QByteArray body = "{\"clientType\":4}";
    QVERIFY(m_sim.setFault("/api/org/tree", 503, 0, false, 2));
    QCOMPARE(post("/api/org/tree", body, m_sim.token()).status, 503);
    QCOMPARE(post("/api/org/tree", body, m_sim.token()).status, 503);
    QCOMPARE(post("/api/org/tree", body, m_sim.token()).status, 200);

    QVERIFY(m_sim.setFault("/api/org/tree", 0, 0, true));
    HttpResult dropped = post("/api/org/tree", body, m_sim.token());
    QCOMPARE(dropped.status, 0);
    QVERIFY(dropped.networkError != 0);

    QVERIFY(m_sim.setFault("/api/*", 500));
    QCOMPARE(post("/api/msg/list", body, m_sim.token()).status, 500);
    QVERIFY(m_sim.clearFaults());
    QCOMPARE(post("/api/org/tree", body, m_sim.token()).status, 200);

    QVERIFY(m_sim.setFault("/api/org/tree", 0, 300, false, 1));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(post("/api/org/tree", body, m_sim.token()).status, 200);
    QVERIFY(timer.elapsed() >= 300);

    int status = 0;
    m_sim.admin("POST", "/admin/faults", {{"path", "no-slash"}}, &status);
    QCOMPARE(status, 400);
}

void TestSimPlatform::adminCallsNeedTheRunsToken()
{
    const QString admin = m_sim.adminUrl();
    QVERIFY(!m_sim.adminToken().isEmpty());
    // What a web page in a local browser could send: no token, a guess, a
    // platform token; a plain form post; a path that does not exist.
    for (const QString& bearer : {QString(), QStringLiteral("guess"), m_sim.token()}) {
        const HttpResult info = m_http->get(admin + "/admin/info", bearer);
        QCOMPARE(info.status, 401);
        QVERIFY(!info.body.contains(m_sim.adminToken().toUtf8()));
    }
    const HttpResult added =
        m_http->post(admin + "/admin/alarms", "{\"count\":5}", QString(), "text/plain", false);
    QCOMPARE(added.status, 401);
    QCOMPARE(added.json().value("ok").toBool(true), false);
    QCOMPARE(m_http->get(admin + "/admin/nowhere").status, 401);

    int status = 0;
    const QJsonObject info = m_sim.admin("GET", "/admin/info", {}, &status);
    QCOMPARE(status, 200);
    QCOMPARE(info.value("admin_token").toString(), m_sim.adminToken());
}

QTEST_MAIN(TestSimPlatform)
#include "tst_simplatform.moc"
