// The command language of the demo host's console (docs/host-link.md).
#pragma once

#include "base/WinTypes.h"
#include "native/HostCommand.h"

#include <QString>

struct ScriptLine
{
    enum Kind
    {
        Empty,     // blank line or comment
        Command,   // a host command for the module
        Quit,      // end the demo host
        AckResult, // result carried by later acknowledgements
        PreAck,    // command sent just before the next acknowledgement
        Rect,      // rectangle answered to window-rectangle requests
        Window,    // an operation on the host's own window (window mode only)
        Ui,        // a line for the module driver
        Raw        // bytes written to the module as they are (malformed frames)
    };
    enum WindowOp
    {
        Page, // text: "messages" or "overview"
        MinimiseHost,
        RestoreHost,
        MoveHost // x, y
    };
    Kind kind = Empty;
    HostCommand command;
    qint64 number = 0;
    RECT rect{0, 0, 0, 0};
    WindowOp windowOp = Page;
    QString text;
    QByteArray bytes;
    int x = 0;
    int y = 0;
};

// False with a reason for anything that is not a whole, valid line.
bool parseScriptLine(const QString& line, ScriptLine& out, QString& error);
