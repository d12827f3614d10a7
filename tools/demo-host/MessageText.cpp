#include "MessageText.h"

QString escapeBytes(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\') {
            text += QStringLiteral("\\\\");
        } else if (byte >= 0x20 && byte < 0x7f) {
            text += QLatin1Char(c);
        } else {
            text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
        }
    }
    return text;
}

QString messageName(quint32 msg)
{
    switch (msg) {
    case 74:
        return QStringLiteral("WM_COPYDATA");
    case 2034:
        return QStringLiteral("WM_WNDDRAG_END");
    case 2044:
        return QStringLiteral("WM_MODULE_CLOSE");
    case 2045:
        return QStringLiteral("WM_REFRESHTOKEN_FAIL");
    case 2052:
        return QStringLiteral("WM_PROCESS_SHOWWND");
    case 2054:
        return QStringLiteral("WM_UNREAD_COUNT");
    case 2059:
        return QStringLiteral("WM_ACESSTOKEN_LOSS_RELD");
    case 2073:
        return QStringLiteral("WM_TOPLEV_MOUSEPRESS");
    case 8591:
        return QStringLiteral("WM_PUSH_AIMSG");
    default:
        return QString();
    }
}

QString signalLine(const HostSignal& signal)
{
    switch (signal.eKind) {
    case HostSignal::FullScreen:
        return QStringLiteral("SIGNAL FULLSCREEN %1 %2").arg(signal.nFirst).arg(signal.nSecond);
    case HostSignal::RemoteLogin:
        return QStringLiteral("SIGNAL REMOTELOGIN ") + escapeBytes(signal.strFirst.toUtf8());
    case HostSignal::UpdateTokens:
        return QStringLiteral("SIGNAL TOKENS %1 %2")
            .arg(escapeBytes(signal.strFirst.toUtf8()), escapeBytes(signal.strSecond.toUtf8()));
    case HostSignal::Pong:
        return QStringLiteral("SIGNAL PONG %1").arg(signal.nFirst);
    }
    return QStringLiteral("SIGNAL %1").arg(int(signal.eKind));
}

QString frameLine(const CHostFrame& frame)
{
    switch (frame.m_eType) {
    case CHostFrame::Send:
    case CHostFrame::Post: {
        QString line =
            QStringLiteral("MSG %1 w=%2 l=%3 %4")
                .arg(frame.m_nMsg)
                .arg(quint64(frame.m_nWParam))
                .arg(qint64(frame.m_nLParam))
                .arg(frame.m_eType == CHostFrame::Send ? QStringLiteral("sent") : QStringLiteral("posted"));
        if (!frame.m_baData.isEmpty()) {
            line += QStringLiteral(" data=") + escapeBytes(frame.m_baData);
        }
        return line;
    }
    case CHostFrame::CopyData:
        return QStringLiteral("COPYDATA dwData=%1 w=%2 data=%3")
            .arg(frame.m_nDwData)
            .arg(quint64(frame.m_nWParam))
            .arg(escapeBytes(frame.m_baData));
    case CHostFrame::RectRequest:
        return QStringLiteral("GETRECT");
    case CHostFrame::WindowRequest:
        return QStringLiteral("WINDOW %1").arg(frame.m_nWindow);
    case CHostFrame::Signal:
        return signalLine(frame.m_tSignal);
    default:
        return QStringLiteral("FRAME %1").arg(CHostFrame::typeName(frame.m_eType));
    }
}
