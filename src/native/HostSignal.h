// A signal of the module's window that the host listens to, as it travels over
// the host link; and the module's answer to the host's ping.
#pragma once

#include <QMetaType>
#include <QString>

struct HostSignal
{
    enum Kind
    {
        FullScreen,   // nFirst: 1 entering, 0 leaving; nSecond: module index
        RemoteLogin,  // strFirst: the platform's text
        UpdateTokens, // strFirst: token, strSecond: refresh token
        Pong          // nFirst: the value of the host's Ping
    };
    Kind eKind = FullScreen;
    int nFirst = 0;
    int nSecond = 0;
    QString strFirst;
    QString strSecond;
};
Q_DECLARE_METATYPE(HostSignal)
