// A signal of the module's window that the host listens to, as it travels over
// the host link.
#pragma once

#include <QMetaType>
#include <QString>

struct HostSignal
{
    enum Kind
    {
        FullScreen,  // nFirst: 1 entering, 0 leaving; nSecond: module index
        RemoteLogin, // strFirst: the platform's text
        UpdateTokens // strFirst: token, strSecond: refresh token
    };
    Kind eKind = FullScreen;
    int nFirst = 0;
    int nSecond = 0;
    QString strFirst;
    QString strSecond;
};
Q_DECLARE_METATYPE(HostSignal)
