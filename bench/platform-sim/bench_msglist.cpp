// Latency of "/api/msg/list" on a simulator seeded with a large store, over
// HTTPS on loopback with a kept-alive connection, for pages and filter
// combinations. Prints median and 95th percentile per case and overall.
//
//   bench_platform_sim [--count N] [--rounds R] [--data-dir DIR]
//
// --data-dir reuses a store seeded earlier (the first run seeds it, which takes
// a while); without it a temporary store is seeded and thrown away.
#include "SimulatorProcess.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

struct Case
{
    const char* name;
    QJsonObject criteria;
};

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    size_t index = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(index, v.size() - 1)];
}

QString day(int daysAgo)
{
    return QDateTime::currentDateTime().addDays(-daysAgo).toString("yyyy-MM-dd 00:00:00");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int count = 1000000;
    int rounds = 30;
    QString dataDir;
    QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--count")
            count = args[i + 1].toInt();
        else if (args[i] == "--rounds")
            rounds = args[i + 1].toInt();
        else if (args[i] == "--data-dir")
            dataDir = args[i + 1];
    }

    // With a data directory of our own the simulator runs by hand here; otherwise SimulatorProcess.
    std::unique_ptr<SimulatorProcess> sim;
    QProcess own;
    QJsonObject ready;
    if (dataDir.isEmpty()) {
        sim = std::make_unique<SimulatorProcess>(
            QStringList{"--seed", "large", "--large-count", QString::number(count)});
        fprintf(stderr, "seeding %d alarms...\n", count);
        if (!sim->start(30 * 60 * 1000)) {
            fprintf(stderr, "%s\n", qPrintable(sim->errorString()));
            return 1;
        }
        ready = sim->readyInfo();
    } else {
        QString readyFile = dataDir + "/ready.json";
        QFile::remove(readyFile);
        own.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        own.setStandardOutputFile(QProcess::nullDevice());
        own.start(qEnvironmentVariable("MC_BIN_DIR", QCoreApplication::applicationDirPath()) +
                      "/platform-sim",
                  {"--data-dir", dataDir, "--ready-file", readyFile, "--seed", "large", "--large-count",
                   QString::number(count)});
        QElapsedTimer waited;
        waited.start();
        while (!QFile::exists(readyFile) && own.state() != QProcess::NotRunning && waited.elapsed() < 1800000)
            QThread::msleep(50);
        QFile f(readyFile);
        f.open(QIODevice::ReadOnly);
        ready = QJsonDocument::fromJson(f.readAll()).object();
        if (ready.isEmpty()) {
            fprintf(stderr, "simulator did not start\n");
            return 1;
        }
    }

    QNetworkAccessManager manager;
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.setCaCertificates(QSslCertificate::fromPath(ready.value("ca_file").toString()));
    QUrl url(ready.value("base_url").toString() + "/api/msg/list");
    QByteArray token = ready.value("token").toString().toUtf8();

    auto post = [&](const QJsonObject& criteria, QJsonObject* reply) {
        QNetworkRequest request(url);
        request.setSslConfiguration(ssl);
        request.setRawHeader("userType", "enterprise");
        request.setRawHeader("Content-Type", "application/json");
        request.setRawHeader("Authorization", "Bearer " + token);
        QJsonObject body = criteria;
        body["clientType"] = 4;
        if (!body.contains("pageSize"))
            body["pageSize"] = 30;
        QElapsedTimer timer;
        timer.start();
        QNetworkReply* r = manager.post(request, QJsonDocument(body).toJson(QJsonDocument::Compact));
        QEventLoop loop;
        QObject::connect(r, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        if (reply)
            *reply = QJsonDocument::fromJson(r->readAll()).object();
        r->deleteLater();
        return ms;
    };

    QJsonObject first;
    post({{"pageNo", 1}}, &first);
    int total = first.value("page").toObject().value("total").toInt();
    int lastPage = (total + 29) / 30;
    fprintf(stderr, "total %d alarms, %d pages\n", total, lastPage);

    const std::vector<Case> cases = {
        {"page 1", {{"pageNo", 1}}},
        {"page 2", {{"pageNo", 2}}},
        {"page 100", {{"pageNo", 100}}},
        {"middle page", {{"pageNo", lastPage / 2}}},
        {"last page", {{"pageNo", lastPage}}},
        {"past the end", {{"pageNo", lastPage + 5}}},
        {"unread p1", {{"pageNo", 1}, {"isRead", 0}}},
        {"unread p50", {{"pageNo", 50}, {"isRead", 0}}},
        {"read last", {{"pageNo", 23000}, {"isRead", 1}}},
        {"encrypted p1", {{"pageNo", 1}, {"isEncrypt", 1}}},
        {"device+channel p1", {{"pageNo", 1}, {"deviceSerial", "PV2000100"}, {"channelNo", 2}}},
        {"device+channel p500", {{"pageNo", 500}, {"deviceSerial", "PV2000100"}, {"channelNo", 2}}},
        {"type p1", {{"pageNo", 1}, {"alarmType", "人体检测告警"}}},
        {"type+unread+enc", {{"pageNo", 1}, {"alarmType", "人体检测告警"}, {"isRead", 0}, {"isEncrypt", 1}}},
        {"day window", {{"pageNo", 1}, {"startTime", day(3)}, {"endTime", day(2)}}},
        {"week window p20", {{"pageNo", 20}, {"startTime", day(10)}, {"endTime", day(3)}}},
        {"window+device+unread",
         {{"pageNo", 1},
          {"startTime", day(30)},
          {"endTime", day(1)},
          {"deviceSerial", "PV1000001"},
          {"channelNo", 1},
          {"isRead", 0}}},
        {"all filters",
         {{"pageNo", 2},
          {"startTime", day(60)},
          {"endTime", day(0)},
          {"deviceSerial", "PV1000003"},
          {"channelNo", 1},
          {"isRead", 0},
          {"isEncrypt", 1},
          {"alarmType", "移动侦测告警"}}},
    };

    std::vector<double> all;
    printf("%-24s %10s %10s %10s\n", "case", "median ms", "p95 ms", "max ms");
    for (const Case& c : cases) {
        post(c.criteria, nullptr); // warm the statement cache
        std::vector<double> samples;
        for (int i = 0; i < rounds; ++i)
            samples.push_back(post(c.criteria, nullptr));
        all.insert(all.end(), samples.begin(), samples.end());
        printf("%-24s %10.2f %10.2f %10.2f\n", c.name, percentile(samples, 0.5), percentile(samples, 0.95),
               *std::max_element(samples.begin(), samples.end()));
    }
    printf("%-24s %10.2f %10.2f %10.2f\n", "ALL", percentile(all, 0.5), percentile(all, 0.95),
           *std::max_element(all.begin(), all.end()));
    if (own.state() != QProcess::NotRunning) {
        own.terminate();
        own.waitForFinished(10000);
    }
    return 0;
}
