// The library on loopback against the simulator: a page of pictures fetched
// and decrypted in parallel, the time from OpenSDK_StartPlayBackEx to the first
// data callback, and the CPU this process spends on one playing stream (with
// and without painting into a window).
#include "PavrixSDK.h"
#include "SdkProbe.h"
#include "SimCloud.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QJsonArray>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

const char kDevice[] = "PV1000001";
const char kCode[] = "ABCDEF";
const char kEncryptedDevice[] = "PV1000002";
const char kEncryptedCode[] = "QWERTY";
constexpr int kPageRows = 30;

QByteArray timeText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString("yyyy-MM-dd hh:mm:ss").toUtf8();
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int start(const pvxtest::SdkProbe& probe, qint64 t0, void* window)
{
    return OpenSDK_StartPlayBackEx(probe.sessionId.c_str(), window, kDevice, 1, kCode,
                                   timeText(t0 - 80000).constData(), timeText(t0 + 80000).constData());
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

double p95(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty()
               ? 0.0
               : values[std::min(values.size() - 1, static_cast<std::size_t>(values.size() * 0.95))];
}

void initLibrary(pvxtest::SimCloud& sim)
{
    OpenSDK_Init(sim.value("app_key").toUtf8().constData());
    OpenSDK_SetAccessToken(sim.accessToken().constData());
}

// The picture addresses of the newest page of a device's alarms.
std::vector<QByteArray> pageOfPictures(pvxtest::SimCloud& sim, const char* device)
{
    std::vector<QByteArray> urls;
    const QJsonArray rows =
        sim.platform("/api/msg/list", {{"pageNo", 1}, {"pageSize", kPageRows}, {"deviceSerial", device}})
            .value("data")
            .toArray();
    for (const QJsonValue& row : rows)
        urls.push_back(row.toObject().value("picUrl").toString().toUtf8());
    return urls;
}

// One page: every picture fetched (and decrypted) through the library and
// decoded, by `threads` callers at once as the module's picture jobs do.
// Milliseconds, or -1 when a picture failed.
double pictureRound(const std::vector<QByteArray>& urls, const char* device, const char* code, int threads,
                    const QByteArray& token)
{
    std::atomic<std::size_t> next{0};
    std::atomic<int> failed{0};
    QElapsedTimer timer;
    timer.start();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            for (std::size_t i = next++; i < urls.size(); i = next++) {
                char* buffer = nullptr;
                int size = 0;
                if (OpenSDK_DecryptPicture(token.constData(), urls[i].constData(), device, code, &buffer,
                                           &size) != 0 ||
                    QImage::fromData(reinterpret_cast<const uchar*>(buffer), size).isNull())
                    ++failed;
                if (buffer)
                    OpenSDK_Data_Free(buffer);
            }
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    return failed ? -1.0 : timer.nsecsElapsed() / 1e6;
}

void pictures(pvxtest::SimCloud& sim, int rounds)
{
    const std::vector<QByteArray> plain = pageOfPictures(sim, kDevice);
    const std::vector<QByteArray> encrypted = pageOfPictures(sim, kEncryptedDevice);
    if (plain.size() != kPageRows || encrypted.size() != kPageRows) {
        std::printf("pictures: expected two pages of %d alarms\n", kPageRows);
        return;
    }
    const QByteArray token = sim.accessToken();
    // The simulator draws each snapshot on its first request: not counted.
    pictureRound(plain, kDevice, "", 3, token);
    pictureRound(encrypted, kEncryptedDevice, kEncryptedCode, 3, token);
    // Connections to be opened again, as after a start.
    OpenSDK_FiniLib();
    initLibrary(sim);
    std::printf("page of %d encrypted pictures, 3 callers, connections to open: %.1f ms\n", kPageRows,
                pictureRound(encrypted, kEncryptedDevice, kEncryptedCode, 3, token));
    // 3 callers: the module's picture jobs; 6: as many as the library opens to one server.
    for (int threads : {1, 3, 6}) {
        std::vector<double> plainMs, encryptedMs;
        int failed = 0;
        for (int i = 0; i < rounds; ++i) {
            const double plainRound = pictureRound(plain, kDevice, "", threads, token);
            const double encryptedRound =
                pictureRound(encrypted, kEncryptedDevice, kEncryptedCode, threads, token);
            failed += (plainRound < 0) + (encryptedRound < 0);
            if (plainRound >= 0)
                plainMs.push_back(plainRound);
            if (encryptedRound >= 0)
                encryptedMs.push_back(encryptedRound);
        }
        std::printf("page of %d pictures, %d caller(s): plain median %.1f ms; encrypted median %.1f ms, p95 "
                    "%.1f ms; encrypted/plain %.2fx; %d rounds failed\n",
                    kPageRows, threads, median(plainMs), median(encryptedMs), p95(encryptedMs),
                    median(encryptedMs) / std::max(median(plainMs), 0.001), failed);
    }
}

void firstFrameLatency(qint64 t0, int rounds)
{
    std::vector<double> ms;
    std::vector<double> accepted;
    for (int i = 0; i < rounds; ++i) {
        pvxtest::SdkProbe probe;
        if (!probe.open())
            return;
        QElapsedTimer timer;
        timer.start();
        start(probe, t0, nullptr);
        if (probe.waitFor(OPENSDK_MSG_PLAY_STARTED, 10000) >= 0)
            accepted.push_back(timer.nsecsElapsed() / 1e6);
        if (!probe.waitForFrames(1, 10000)) {
            std::printf("round %d: no frame\n", i);
            continue;
        }
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    if (ms.empty())
        return;
    if (!accepted.empty())
        std::printf("start to message 3 (stream accepted): median %.1f ms\n", median(accepted));
    std::printf("start to first data: %zu rounds, median %.1f ms, p95 %.1f ms, max %.1f ms\n", ms.size(),
                median(ms), p95(ms), *std::max_element(ms.begin(), ms.end()));
}

void searchLatency(qint64 t0, int rounds)
{
    pvxtest::SdkProbe probe;
    if (!probe.open())
        return;
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (OpenSDK_StartSearchExtend(probe.sessionId.c_str(), kDevice, 1, timeText(t0 - 60000).constData(),
                                      timeText(t0 + 60000).constData(), 3) == 0)
            ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    if (!ms.empty())
        std::printf("record search call: median %.1f ms, max %.1f ms\n", median(ms),
                    *std::max_element(ms.begin(), ms.end()));
}

void streamCpu(qint64 t0, int seconds, QWidget* window, const char* format = "320x180 at 5 fps")
{
    pvxtest::SdkProbe probe;
    if (!probe.open())
        return;
    start(probe, t0, window ? reinterpret_cast<void*>(window->winId()) : nullptr);
    probe.waitForFrames(1, 10000);
    const double cpuBefore = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    const int framesBefore = probe.frameCount();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double wall = timer.elapsed() / 1000.0;
    const double cpu = cpuSeconds() - cpuBefore;
    const double percent = 100.0 * cpu / wall;
    const QString where =
        window ? QString("painted into a %1x%2 window").arg(window->width()).arg(window->height())
               : QString("to the data callback only");
    std::printf("one stream of %s %s: %.1f s, %d frames, CPU %.1f%% of one core%s\n", format,
                qPrintable(where), wall, probe.frameCount() - framesBefore, percent,
                !window          ? ""
                : percent < 15.0 ? " (aim under 15%: met)"
                                 : " (aim under 15%: missed)");
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 30;
    pvxtest::SimCloud sim;
    QString why;
    if (!sim.start(&why)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    qputenv("PAVRIX_CLOUD_URL", sim.cloudUrl());
    qputenv("PAVRIX_CA_FILE", sim.caFile());
    initLibrary(sim);
    const qint64 t0 = (QDateTime::currentMSecsSinceEpoch() / 1000 - 40 * 86400) * 1000;
    sim.admin("/admin/alarms", {{"deviceSerial", kDevice}, {"alarmTime", t0}, {"push", false}});
    for (const char* device : {kDevice, kEncryptedDevice})
        sim.admin("/admin/alarms", {{"deviceSerial", device}, {"count", kPageRows}, {"push", false}});

    pictures(sim, rounds);
    searchLatency(t0, 10);
    firstFrameLatency(t0, rounds);
    streamCpu(t0, 10, nullptr);
    QWidget window;
    window.resize(640, 360);
    window.show();
    streamCpu(t0, 10, &window);

    // The size of the record area in the module's window, at its default size.
    qputenv("PAVRIX_STREAM_FORMAT", "1280x720@25");
    initLibrary(sim);
    const char* hd = "1280x720 at 25 fps";
    streamCpu(t0, 10, nullptr, hd);
    QWidget area;
    area.resize(960, 540);
    area.show();
    streamCpu(t0, 10, &area, hd);
    OpenSDK_FiniLib();
    return 0;
}
