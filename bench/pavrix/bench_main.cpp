// Playback benchmark on loopback against the simulator: time from
// OpenSDK_StartPlayBackEx to the first data callback, and the CPU this process
// spends on one playing stream (with and without painting into a window).
#include "PavrixSDK.h"
#include "SdkProbe.h"
#include "SimCloud.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const char kDevice[] = "PV1000001";
const char kCode[] = "ABCDEF";

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
    std::sort(ms.begin(), ms.end());
    std::sort(accepted.begin(), accepted.end());
    if (!accepted.empty())
        std::printf("start to message 3 (stream accepted): median %.1f ms\n", accepted[accepted.size() / 2]);
    const double median = ms[ms.size() / 2];
    const double p95 = ms[std::min(ms.size() - 1, static_cast<std::size_t>(ms.size() * 0.95))];
    std::printf("start to first data: %zu rounds, median %.1f ms, p95 %.1f ms, max %.1f ms\n", ms.size(),
                median, p95, ms.back());
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
    std::sort(ms.begin(), ms.end());
    if (!ms.empty())
        std::printf("record search call: median %.1f ms, max %.1f ms\n", ms[ms.size() / 2], ms.back());
}

void streamCpu(qint64 t0, int seconds, QWidget* window)
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
    std::printf("one stream %s: %.1f s, %d frames, CPU %.1f%% of one core\n",
                window ? "painted into a window" : "to the data callback only", wall,
                probe.frameCount() - framesBefore, 100.0 * cpu / wall);
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
    OpenSDK_Init(sim.value("app_key").toUtf8().constData());
    OpenSDK_SetAccessToken(sim.accessToken().constData());
    const qint64 t0 = (QDateTime::currentMSecsSinceEpoch() / 1000 - 40 * 86400) * 1000;
    sim.admin("/admin/alarms", {{"deviceSerial", kDevice}, {"alarmTime", t0}, {"push", false}});

    searchLatency(t0, 10);
    firstFrameLatency(t0, rounds);
    streamCpu(t0, 10, nullptr);
    QWidget window;
    window.resize(640, 360);
    window.show();
    streamCpu(t0, 10, &window);
    OpenSDK_FiniLib();
    return 0;
}
