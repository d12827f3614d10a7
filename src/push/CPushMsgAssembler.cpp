#include "push/CPushMsgAssembler.h"

#include "base/ModuleLog.h"

namespace {

const char* const kAlarmType = "AIMSG";
const char* const kTypes[] = {"AIMSG", "START", "HEARTBEAT"};

} // namespace

bool CPushMsgAssembler::StartsMessage(const QByteArray& baRead)
{
    for (const char* szType : kTypes) {
        if (baRead.startsWith(QByteArray(szType) + ',')) {
            return true;
        }
    }
    return false;
}

void CPushMsgAssembler::Reset()
{
    m_baPending.clear();
    m_nScanned = -1;
    m_nDepth = 0;
    m_bInString = false;
    m_bEscaped = false;
}

bool CPushMsgAssembler::Feed(const QByteArray& baRead, QByteArray& baMessage)
{
    static const char* const kFn = "CPushMsgAssembler::Feed";
    if (m_bDropping) {
        if (!StartsMessage(baRead)) {
            return false;
        }
        m_bDropping = false;
    } else if (IsHolding() && StartsMessage(baRead)) {
        MC_LOG(5, kFn, "<%d>\t<%s>,incomplete push message of %d bytes dropped: a new one began",
               m_baPending.size());
        Reset();
    }
    if (baRead.size() > kMaxMessageBytes - m_baPending.size()) {
        MC_LOG(5, kFn, "<%d>\t<%s>,push message of more than %d bytes dropped", kMaxMessageBytes);
        Reset();
        m_bDropping = true;
        return false;
    }
    m_baPending += baRead;
    if (Scan() == Incomplete) {
        MC_LOG(3, kFn, "<%d>\t<%s>,push message incomplete, %d bytes held", m_baPending.size());
        return false;
    }
    baMessage = m_baPending;
    Reset();
    return true;
}

CPushMsgAssembler::Completeness CPushMsgAssembler::Scan()
{
    const int nComma = m_baPending.indexOf(',');
    if (nComma < 0) {
        // "AIM" of "AIMSG,...": the type itself was cut.
        const bool bTypeCut = QByteArray(kAlarmType).startsWith(m_baPending);
        return bTypeCut ? Incomplete : Complete;
    }
    if (m_baPending.left(nComma) != kAlarmType) {
        return Complete; // other types carry nothing the module reads
    }
    if (m_nScanned < 0) {
        int nStart = nComma + 1;
        while (nStart < m_baPending.size() && (m_baPending[nStart] == ' ' || m_baPending[nStart] == '\t' ||
                                               m_baPending[nStart] == '\r' || m_baPending[nStart] == '\n')) {
            ++nStart;
        }
        if (nStart == m_baPending.size()) {
            return Complete; // an empty payload is a payload
        }
        if (m_baPending[nStart] != '{' && m_baPending[nStart] != '[') {
            return Complete; // not JSON: nothing tells where it ends
        }
        m_nScanned = nStart;
    }
    for (; m_nScanned < m_baPending.size(); ++m_nScanned) {
        const char c = m_baPending[m_nScanned];
        if (m_bInString) {
            if (m_bEscaped) {
                m_bEscaped = false;
            } else if (c == '\\') {
                m_bEscaped = true;
            } else if (c == '"') {
                m_bInString = false;
            }
        } else if (c == '"') {
            m_bInString = true;
        } else if (c == '{' || c == '[') {
            ++m_nDepth;
        } else if (c == '}' || c == ']') {
            --m_nDepth;
        }
    }
    return m_nDepth > 0 || m_bInString ? Incomplete : Complete;
}
