// A command the host sends to the module's process over the host link.
#pragma once

#include <QMetaType>
#include <QString>

struct HostCommand
{
    enum Kind
    {
        Show,         // nValue: pushed message id
        Hide,         // nValue: flag
        Minimise,     // nValue: 1 minimised, 0 restored
        BigPicture,   // nValue: 1 show, 0 hide
        Moved,        //
        NewAlarm,     //
        UpdateTokens, // strFirst: token, strSecond: refresh token
        StartPush,    //
        Close,        //
        Ping          // nValue: echoed by the module's Pong signal
    };
    Kind eKind = Close;
    int nValue = 0;
    QString strFirst;
    QString strSecond;
};
Q_DECLARE_METATYPE(HostCommand)
