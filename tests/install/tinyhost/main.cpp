// Constructs the alarm-message window from the installed package with the
// launch string given as the first argument.
#include <MessageClient.h>

#include <QApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    MessageClient window(QString::fromLocal8Bit(argc > 1 ? argv[1] : ""));
    window.show();
    std::puts(window.isEmbedded() ? "embedded" : "top-level");
    return app.exec();
}
