// Plays one clip from the device cloud into a window, for looking at what the
// library paints. Cloud address and TLS settings come from the environment
// (PAVRIX_CLOUD_URL, PAVRIX_CA_FILE, PAVRIX_TLS_VERIFY).
#include "PavrixSDK.h"
#include "PlayClipWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMetaObject>
#include <QTimer>

#include <cstdio>

namespace {

void onMessage(const char*, unsigned int type, unsigned int code, const char* text, void* user)
{
    std::printf("message %u code %u %s\n", type, code, text ? text : "");
    std::fflush(stdout);
    auto* window = static_cast<PlayClipWindow*>(user);
    QMetaObject::invokeMethod(
        window, [window, type, code] { window->showMessage(type, code); }, Qt::QueuedConnection);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Plays a clip of a device's recording through the video library.");
    parser.addHelpOption();
    const QCommandLineOption device("device", "Device serial.", "serial");
    const QCommandLineOption channel("channel", "Channel number.", "n", "1");
    const QCommandLineOption code("code", "Verification code.", "code");
    const QCommandLineOption start("start", "Start, \"yyyy-MM-dd hh:mm:ss\".", "time");
    const QCommandLineOption end("end", "End, \"yyyy-MM-dd hh:mm:ss\".", "time");
    const QCommandLineOption token("token", "Access token (default $PAVRIX_ACCESS_TOKEN).", "token");
    const QCommandLineOption seconds("seconds", "Quit after this many seconds (0: never).", "s", "0");
    parser.addOptions({device, channel, code, start, end, token, seconds});
    parser.process(app);
    if (!parser.isSet(device) || !parser.isSet(code) || !parser.isSet(start) || !parser.isSet(end)) {
        std::fprintf(stderr, "--device, --code, --start and --end are required\n");
        return 2;
    }

    PlayClipWindow window;
    window.resize(640, 420);
    window.show();

    OpenSDK_SetConfigInfo(OPENSDK_CFG_LOG_LEVEL, 3);
    OpenSDK_Init("playclip");
    const QByteArray accessToken =
        parser.isSet(token) ? parser.value(token).toUtf8() : qgetenv("PAVRIX_ACCESS_TOKEN");
    OpenSDK_SetAccessToken(accessToken.constData());
    char* id = nullptr;
    int length = 0;
    if (OpenSDK_AllocSessionEx(onMessage, &window, &id, &length) != 0) {
        std::fprintf(stderr, "no session: %d %s\n", OpenSDK_GetLastErrorCode(), OpenSDK_GetLastErrorDesc());
        return 1;
    }
    const std::string sessionId(id, static_cast<std::size_t>(length));
    OpenSDK_Data_Free(id);
    window.follow(sessionId);

    const int result = OpenSDK_StartPlayBackEx(
        sessionId.c_str(), window.playWindow(), parser.value(device).toUtf8().constData(),
        parser.value(channel).toInt(), parser.value(code).toUtf8().constData(),
        parser.value(start).toUtf8().constData(), parser.value(end).toUtf8().constData());
    if (result != 0)
        std::fprintf(stderr, "start failed: %d %s\n", OpenSDK_GetLastErrorCode(), OpenSDK_GetLastErrorDesc());
    if (parser.value(seconds).toInt() > 0)
        QTimer::singleShot(parser.value(seconds).toInt() * 1000, &app, &QApplication::quit);
    const int rc = app.exec();
    OpenSDK_FreeSession(sessionId.c_str());
    OpenSDK_FiniLib();
    return rc;
}
