// Alarm lists under load, against the platform simulator on loopback:
//   show:   reply arrival to 30 rows with their plain pictures, over page flips,
//           next to a bare fetch-and-decode floor of the same page;
//   stall:  the longest event-loop stall while a page of 30 encrypted rows is
//           decrypted;
//   back:   paging back to pages seen before, with the snapshot cache on: show
//           time against the time to build the rows, and picture requests;
//   play:   click on the play button to the first picture painted in the
//           record area, and the CPU of one 1280x720 25 fps clip played there;
//   memory: resident set size after 10 and after many page flips.
//
//   bench_alarms [--part show,stall,back,play,memory] [--rounds 30] [--stall-rounds 20]
//                [--flips 500] [--shots DIR]
//
// Figures are printed as plain lines on stdout; the module's own log goes to
// $MESSAGECLIENT_LOG_DIR (a temporary directory unless set).
#include "BenchClock.h"
#include "FloorFetcher.h"
#include "ListDriver.h"
#include "PaintWatch.h"

#include "HostProcess.h"
#include "SimulatorProcess.h"

#include "alarms/CAlarmMsgWnd.h"
#include "alarms/CListCtrl.h"
#include "shell/MessageClient.h"
#include "shell/ProcessEnd.h"

#include <QApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

#include <QDir>
#include <QPushButton>
#include <QScreen>

#include <cstdarg>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int kFlipTimeoutMs = 20000;
constexpr int kPlayTimeoutMs = 15000;
constexpr int kPlayRounds = 12;
constexpr int kCpuSeconds = 10;

struct Options
{
    QStringList parts{"show", "stall", "back", "play", "memory"};
    int rounds = 30;
    int stallRounds = 20;
    int flips = 500;
    QString shots; // screenshots of pages going in and shown again, when given
};

bool parseOptions(const QStringList& args, Options& options)
{
    for (int i = 1; i < args.size(); i += 2) {
        if (i + 1 >= args.size()) {
            return false;
        }
        const QString& value = args[i + 1];
        if (args[i] == "--part") {
            options.parts = value.split(',', Qt::SkipEmptyParts);
        } else if (args[i] == "--rounds") {
            options.rounds = value.toInt();
        } else if (args[i] == "--stall-rounds") {
            options.stallRounds = value.toInt();
        } else if (args[i] == "--flips") {
            options.flips = value.toInt();
        } else if (args[i] == "--shots") {
            options.shots = value;
        } else {
            return false;
        }
    }
    return options.rounds > 0 && options.stallRounds > 0 && options.flips >= 10;
}

void line(const char* format, ...) __attribute__((format(printf, 1, 2)));
void line(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

long rssKiB()
{
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

void printSeries(const char* what, const std::vector<double>& ms)
{
    line("%s: median %.1f ms, p95 %.1f ms, max %.1f ms (%zu pages)", what, percentile(ms, 0.5),
         percentile(ms, 0.95), maximum(ms), ms.size());
}

// A camera of the simulator that is online and plain, or encrypted with the
// platform holding the right code.
QJsonObject pickCamera(SimulatorProcess& sim, bool encrypted)
{
    for (const QJsonValue& value : sim.cameras()) {
        const QJsonObject camera = value.toObject();
        if (!camera.value("online").toBool() || camera.value("encrypted").toBool() != encrypted) {
            continue;
        }
        if (encrypted && camera.value("platformCode").toString() != camera.value("code").toString()) {
            continue;
        }
        return camera;
    }
    return {};
}

// Two pages of plain alarms, newest, and two of encrypted ones an hour older:
// pages 1-2 of the all-messages list are plain, pages 3-4 encrypted.
bool seed(SimulatorProcess& sim, int perPage, QString* error)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const QJsonObject plain = pickCamera(sim, false);
    const QJsonObject encrypted = pickCamera(sim, true);
    if (plain.isEmpty() || encrypted.isEmpty()) {
        *error = "the simulator has no plain or no encrypted camera with a known code";
        return false;
    }
    // Five minutes back: the clips around the plain alarms lie in recorded time.
    for (const auto& [camera, at] :
         {std::make_pair(plain, now - 300 * 1000), std::make_pair(encrypted, now - 3600 * 1000)}) {
        const QJsonArray ids = sim.addAlarm({{"count", 2 * perPage},
                                             {"deviceSerial", camera.value("deviceSerial")},
                                             {"channelNo", camera.value("channelNo")},
                                             {"alarmTime", double(at)},
                                             {"push", false}});
        if (ids.size() != 2 * perPage) {
            *error = "adding alarms failed";
            return false;
        }
    }
    line("seeded: %d plain alarms of %s/%d, %d encrypted of %s/%d", 2 * perPage,
         qPrintable(plain.value("deviceSerial").toString()), plain.value("channelNo").toInt(), 2 * perPage,
         qPrintable(encrypted.value("deviceSerial").toString()), encrypted.value("channelNo").toInt());
    return true;
}

class Bench
{
public:
    explicit Bench(Options options) : m_options(std::move(options)) {}

    int run()
    {
        QString error;
        if (!setUp(&error)) {
            line("setup failed: %s", qPrintable(error));
            return 1;
        }
        bool ok = true;
        if (m_options.parts.contains("show")) {
            ok = pageShowTime() && ok;
        }
        if (m_options.parts.contains("stall")) {
            ok = decryptStall() && ok;
        }
        if (m_options.parts.contains("back")) {
            ok = pagingBack() && ok;
        }
        if (!m_options.shots.isEmpty()) {
            ok = screenshots() && ok;
        }
        if (m_options.parts.contains("play")) {
            ok = play() && ok;
        }
        if (m_options.parts.contains("memory")) {
            ok = memory() && ok;
        }
        return ok ? 0 : 1;
    }

private:
    bool setUp(QString* error)
    {
        if (!m_sim.start()) {
            *error = "simulator: " + m_sim.errorString();
            return false;
        }
        if (!m_host.start(false)) {
            *error = "demo host did not start";
            return false;
        }
        qputenv("PAVRIX_CLOUD_URL", m_sim.cloudUrl().toUtf8());
        // Clips as a camera of today sends them; read when the window starts
        // the video library.
        qputenv("PAVRIX_STREAM_FORMAT", "1280x720@25");
        qputenv("PAVRIX_CA_FILE", m_sim.caFile().toUtf8());
        // The snapshot cache stays off but where it is measured: the other
        // figures are of pictures that really travel.
        if (!writeConfig(false, error)) {
            return false;
        }
        if (!seed(m_sim, m_window.rowsPerPage(), error)) {
            return false;
        }
        return m_window.open(error);
    }

    bool writeConfig(bool withCache, QString* error)
    {
        const QString cfg = m_dir.filePath("cfg.xml");
        QFile file(cfg);
        if (!file.open(QIODevice::WriteOnly)) {
            *error = "cannot write " + cfg;
            return false;
        }
        const QString cache =
            withCache ? QString("<snap_cache_folder>%1</snap_cache_folder>").arg(m_dir.filePath("snapshots"))
                      : QString("<snap_cache_size>0</snap_cache_size>");
        file.write(
            QString("<Configure><ca_file>%1</ca_file>%2</Configure>").arg(m_sim.caFile(), cache).toUtf8());
        return true;
    }

    // Flips to each page in turn; false at the first page that does not show.
    bool flips(const std::vector<int>& pages, std::vector<ListDriver::Flip>* out)
    {
        for (int page : pages) {
            const ListDriver::Flip flip = m_window.flipTo(page, kFlipTimeoutMs);
            if (!flip.ok) {
                line("flip to page %d failed: %s", page, qPrintable(flip.error));
                return false;
            }
            if (out) {
                out->push_back(flip);
            }
        }
        return true;
    }

    static std::vector<int> alternating(int first, int second, int count)
    {
        std::vector<int> pages;
        for (int i = 0; i < count; ++i) {
            pages.push_back(i % 2 == 0 ? first : second);
        }
        return pages;
    }

    bool pageShowTime()
    {
        std::vector<ListDriver::Flip> shown;
        if (!flips(alternating(2, 1, 2), nullptr) || !flips(alternating(2, 1, m_options.rounds), &shown)) {
            return false;
        }
        std::vector<double> window, built, inserted;
        for (const ListDriver::Flip& flip : shown) {
            window.push_back(flip.showMs);
            built.push_back(flip.builtMs);
            inserted.push_back(flip.insertedMs);
        }
        printSeries("page show, window, plain pictures", window);
        line("  of which: rows built (reply parsed, old rows gone, 30 rows made) median %.1f ms, rows in the "
             "list median %.1f ms",
             percentile(built, 0.5), percentile(inserted, 0.5));

        std::vector<double> stalls, later;
        for (const ListDriver::Flip& flip : shown) {
            stalls.push_back(flip.maxStallMs);
            later.push_back(flip.maxStallAfterInsertMs);
        }
        line("gui stall while a plain page is put in: longest %.1f ms, median of per-page longest %.1f ms; "
             "once the rows are in: longest %.1f ms",
             maximum(stalls), percentile(stalls, 0.5), maximum(later));

        // Each floor on its own, its connections closed before the next one:
        // idle kept-alive connections would take simulator workers from it.
        std::vector<double> floor, floorFromRequest, floorOwnManagers, unused;
        if (!floorRounds(false, &floor, &floorFromRequest) ||
            !floorRounds(true, &floorOwnManagers, &unused)) {
            return false;
        }
        printSeries("page show, floor (one manager, fetch + decode)", floor);
        printSeries("floor counted from the list request", floorFromRequest);
        printSeries("floor with a manager per picture (as each row has)", floorOwnManagers);
        const double ratio = percentile(window, 0.5) / std::max(percentile(floor, 0.5), 0.001);
        const double ratio95 = percentile(window, 0.95) / std::max(percentile(floor, 0.95), 0.001);
        line("window/floor ratio: median %.2fx, p95 %.2fx (aim under 1.5x: %s)", ratio, ratio95,
             ratio < 1.5 ? "met" : "missed");
        return true;
    }

    bool floorRounds(bool managerPerPicture, std::vector<double>* fromArrival,
                     std::vector<double>* fromRequest)
    {
        const int perPage = m_window.rowsPerPage();
        FloorFetcher fetcher(m_sim.baseUrl(), m_sim.token(), m_sim.caFile(), managerPerPicture);
        for (int i = -2; i < m_options.rounds; ++i) {
            const FloorFetcher::Round round = fetcher.fetchPage(i % 2 == 0 ? 2 : 1, perPage, kFlipTimeoutMs);
            if (!round.ok || round.pictures != perPage) {
                line("floor round failed: %s", qPrintable(round.error));
                return false;
            }
            if (i >= 0) { // the first two warm up connections and caches
                fromArrival->push_back(round.fromArrivalMs);
                fromRequest->push_back(round.fromRequestMs);
            }
        }
        return true;
    }

    bool decryptStall()
    {
        const int last = m_window.pageCount();
        if (last < 4) {
            line("stall: the list has %d pages, expected 4", last);
            return false;
        }
        // Pages 3 and 4 hold the encrypted alarms; the first visit of each warms up.
        std::vector<int> pages{last, last - 1};
        std::vector<ListDriver::Flip> shown;
        if (!flips(pages, nullptr) || !flips(alternating(last, last - 1, m_options.stallRounds), &shown)) {
            return false;
        }
        std::vector<double> stalls, later, showTimes;
        for (const ListDriver::Flip& flip : shown) {
            stalls.push_back(flip.maxStallMs);
            later.push_back(flip.maxStallAfterInsertMs);
            showTimes.push_back(flip.showMs);
        }
        line(
            "gui stall while 30 encrypted rows decrypt: longest %.1f ms, median of per-page longest %.1f ms, "
            "p95 %.1f ms (%zu pages; aim never over 50 ms: %s)",
            maximum(stalls), percentile(stalls, 0.5), percentile(stalls, 0.95), stalls.size(),
            maximum(stalls) <= 50.0 ? "met" : "missed");
        line("  once the rows are in (decryption and pictures only): longest %.1f ms, median of per-page "
             "longest %.1f ms",
             maximum(later), percentile(later, 0.5));
        printSeries("page show, window, encrypted pictures", showTimes);
        return true;
    }

    // Distinct picture addresses the simulator was asked for since its
    // request log was cleared.
    int picturesFetched()
    {
        const QJsonObject seen = m_sim.admin("GET", "/admin/requests?path=/api/msg/list&limit=1");
        int count = 0;
        for (const QJsonValue& path : seen.value("paths").toArray()) {
            count += path.toString().startsWith("/pictures/") ? 1 : 0;
        }
        return count;
    }

    bool pagingBack()
    {
        QString error;
        if (!writeConfig(true, &error)) {
            line("back: %s", qPrintable(error));
            return false;
        }
        // Pages 1 and 2 seen once with the cache on; then every flip is back
        // to a page seen before.
        const int back = m_window.currentPage() == 1 ? 2 : 1;
        if (!flips({back, 3 - back}, nullptr)) {
            return false;
        }
        m_sim.admin("POST", "/admin/requests/clear");
        std::vector<ListDriver::Flip> shown;
        if (!flips(alternating(back, 3 - back, m_options.rounds), &shown)) {
            return false;
        }
        const int fetched = picturesFetched();
        std::vector<double> showMs, builtMs, ratios;
        for (const ListDriver::Flip& flip : shown) {
            showMs.push_back(flip.showMs);
            builtMs.push_back(flip.allInMs);
            ratios.push_back(flip.showMs / std::max(flip.allInMs, 0.001));
        }
        printSeries("page shown again (snapshot cache)", showMs);
        printSeries("  its rows built (reply arrival to the last row in the list)", builtMs);
        line("page shown again / its rows built: median %.2fx, p95 %.2fx (aim within 1.2x: %s); pictures "
             "fetched: %d",
             percentile(ratios, 0.5), percentile(ratios, 0.95),
             percentile(ratios, 0.95) <= 1.2 ? "met" : "missed", fetched);
        return writeConfig(false, &error);
    }

    static double cpuSeconds()
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }

    static void runFor(int ms)
    {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }

    static bool waitUntil(const std::function<bool()>& done, int timeoutMs)
    {
        QEventLoop loop;
        QTimer poller;
        poller.setTimerType(Qt::PreciseTimer);
        QObject::connect(&poller, &QTimer::timeout, &loop, [&] {
            if (done()) {
                loop.quit();
            }
        });
        poller.start(1);
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        return done();
    }

    // Selects the row as a press does and clicks the play button; the time
    // of the click, or 0 when the button did not come.
    double selectAndPlay(int row)
    {
        CListCtrl* list = m_window.list();
        emit list->pressed(list->model()->index(row, 0));
        auto* button = m_window.window()->findChild<QPushButton*>("plyBut");
        if (!waitUntil([button] { return button && button->isVisible(); }, kPlayTimeoutMs)) {
            return 0.0;
        }
        const double clickMs = nowMs();
        button->click();
        return clickMs;
    }

    bool play()
    {
        if (m_window.currentPage() != 1 && !flips({1}, nullptr)) {
            return false;
        }
        QWidget* area = m_window.window()->findChild<QWidget*>("recordArea");
        PaintWatch watch(area);
        std::vector<double> firstPicture;
        for (int i = 0; i < kPlayRounds + 2; ++i) {
            watch.arm();
            const double clickMs = selectAndPlay(i % m_window.rowsPerPage());
            if (clickMs == 0.0 || !waitUntil([&] { return watch.painted(); }, kPlayTimeoutMs)) {
                line("play: no picture painted for row %d", i % m_window.rowsPerPage());
                return false;
            }
            if (i >= 2) { // the first two open connections and warm caches
                firstPicture.push_back(watch.paintedMs() - clickMs);
            }
        }
        line(
            "click on play to first picture painted (1280x720 clips, record area %dx%d): median %.1f ms, p95 "
            "%.1f ms, max %.1f ms (%zu clips; aim median under 250 ms, p95 under 400 ms: %s)",
            area->width(), area->height(), percentile(firstPicture, 0.5), percentile(firstPicture, 0.95),
            maximum(firstPicture), firstPicture.size(),
            percentile(firstPicture, 0.5) < 250.0 && percentile(firstPicture, 0.95) < 400.0 ? "met"
                                                                                            : "missed");

        // One clip for a while: the whole process's CPU, window included.
        watch.arm();
        if (selectAndPlay(m_window.rowsPerPage() - 1) == 0.0 ||
            !waitUntil([&] { return watch.painted(); }, kPlayTimeoutMs)) {
            line("play: the clip for the CPU figure did not start");
            return false;
        }
        runFor(1000);
        const int paintsBefore = watch.paints();
        const double cpuBefore = cpuSeconds();
        const double wallBefore = nowMs();
        runFor(kCpuSeconds * 1000);
        const double wallSeconds = (nowMs() - wallBefore) / 1000.0;
        const double cpuShare = 100.0 * (cpuSeconds() - cpuBefore) / wallSeconds;
        line("one 1280x720 25 fps clip playing in the window: %.1f%% of a core over %.1f s, %.1f pictures "
             "painted a second (aim under 15%%: %s)",
             cpuShare, wallSeconds, (watch.paints() - paintsBefore) / wallSeconds,
             cpuShare < 15.0 ? "met" : "missed");
        // Another row selected stops the clip.
        CListCtrl* list = m_window.list();
        emit list->pressed(list->model()->index(0, 0));
        return true;
    }

    void shot(const QString& name)
    {
        QWidget* window = m_window.window();
        window->screen()->grabWindow(window->winId()).save(QDir(m_options.shots).filePath(name + ".png"));
        line("screenshot %s", qPrintable(QDir(m_options.shots).filePath(name + ".png")));
    }

    // What the operator sees: a page whose pictures are still on their way
    // (slowed down), the same page done, and a page seen before shown again
    // from the snapshot cache the moment its rows are in.
    bool screenshots()
    {
        QDir().mkpath(m_options.shots);
        QString error;
        CListCtrl* list = m_window.list();
        if (!writeConfig(false, &error) || (m_window.currentPage() != 1 && !flips({1}, nullptr))) {
            return false;
        }
        m_sim.setFault("/pictures/*", 0, 1500);
        const int last = m_window.pageCount();
        m_window.window()->findChild<QPushButton*>("lastPageBtn")->click();
        bool rowsIn =
            waitUntil([&] { return m_window.currentPage() == last && !list->IsBusy(); }, kFlipTimeoutMs);
        runFor(200);
        shot("1-encrypted-page-going-in");
        m_sim.clearFaults();
        rowsIn = rowsIn && waitUntil(
                               [&] {
                                   for (CAlarmMsgWnd* row : list->ShownRows()) {
                                       if (!row->IsPicReqFinished()) {
                                           return false;
                                       }
                                   }
                                   return true;
                               },
                               kFlipTimeoutMs);
        runFor(200);
        shot("2-encrypted-page-shown");
        if (!rowsIn || !writeConfig(true, &error) || !flips({1, last, 1}, nullptr)) {
            return false;
        }
        m_window.window()->findChild<QPushButton*>("lastPageBtn")->click();
        if (!waitUntil([&] { return m_window.currentPage() == last && !list->IsBusy(); }, kFlipTimeoutMs)) {
            return false;
        }
        runFor(30);
        shot("3-encrypted-page-again-from-cache");
        // The rows' own looks: selected, and ticked in deletion mode.
        emit list->pressed(list->model()->index(1, 0));
        list->SetCheckBoxesVisible(true);
        list->ShownRows()[2]->SetChecked(true);
        runFor(300);
        shot("4-selected-row-and-deletion-mode");
        list->ShownRows()[2]->SetChecked(false);
        list->SetCheckBoxesVisible(false);
        return writeConfig(false, &error);
    }

    bool memory()
    {
        // Back to the plain pages first; that flip is not counted.
        if (m_window.currentPage() != 1 && !flips({1}, nullptr)) {
            return false;
        }
        long after10 = -1;
        long last = -1;
        for (int i = 1; i <= m_options.flips; ++i) {
            if (!flips({i % 2 == 1 ? 2 : 1}, nullptr)) {
                return false;
            }
            if (i == 10 || i % 100 == 0 || i == m_options.flips) {
                settle();
                last = rssKiB();
                if (i == 10) {
                    after10 = last;
                }
                line("rss after %d flips: %ld KiB", i, last);
            }
        }
        const double growth = after10 > 0 ? 100.0 * double(last - after10) / double(after10) : 0.0;
        line("rss growth from 10 to %d flips: %+.1f%% (aim within 10%%: %s)", m_options.flips, growth,
             growth <= 10.0 ? "met" : "missed");
        return true;
    }

    // Lets late deletions and finished replies go before a reading.
    static void settle()
    {
        QEventLoop loop;
        QTimer::singleShot(100, &loop, &QEventLoop::quit);
        loop.exec();
    }

    Options m_options;
    SimulatorProcess m_sim{{"--seed", "none"}};
    HostProcess m_host;
    QTemporaryDir m_dir;
    ListDriver m_window{m_sim, m_host, m_dir.filePath("cfg.xml")};
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    Options options;
    if (!parseOptions(app.arguments(), options)) {
        std::fprintf(
            stderr,
            "usage: bench_alarms [--part show,stall,back,play,memory] [--rounds N] [--stall-rounds N] "
            "[--flips N>=10] [--shots DIR]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("MC_BIN_DIR")) {
        qputenv("MC_BIN_DIR", QCoreApplication::applicationDirPath().toUtf8());
    }
    QTemporaryDir logDir;
    if (qEnvironmentVariableIsEmpty("MESSAGECLIENT_LOG_DIR")) {
        qputenv("MESSAGECLIENT_LOG_DIR", logDir.path().toUtf8());
    }
    SetModuleProcessEnd([] {});

    // Inside the application's loop, so deferred deletions run as in the product.
    int rc = 0;
    Bench bench(options);
    QTimer::singleShot(0, &app, [&] {
        rc = bench.run();
        QCoreApplication::exit(rc);
    });
    app.exec();
    return rc;
}
