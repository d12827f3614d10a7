// How the demo host writes what it receives: one line per message.
#pragma once

#include "native/CHostFrame.h"

#include <QString>

// "MSG 2054 w=3 l=17 posted", "COPYDATA dwData=12 w=0 data=abc", ...
QString frameLine(const CHostFrame& frame);

// "SIGNAL FULLSCREEN 1 3", "SIGNAL REMOTELOGIN <text>", "SIGNAL TOKENS <token> <refresh>".
QString signalLine(const HostSignal& signal);

// Printable ASCII as is, a backslash doubled, any other byte as \xNN.
QString escapeBytes(const QByteArray& bytes);

// Symbolic name of a window message number the module sends, or an empty text.
QString messageName(quint32 msg);
