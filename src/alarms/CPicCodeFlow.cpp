#include "alarms/CPicCodeFlow.h"

#include "playback/CVideoSdk.h"

void CPicCodeFlow::Begin(int nMsgId, const std::string& strCode, bool bFromDialog)
{
    m_nMsgId = nMsgId;
    m_strCode = strCode;
    m_bFromDialog = bFromDialog;
}

CPicCodeFlow::Next CPicCodeFlow::AfterFailure(int nErrCode) const
{
    if (m_ePurpose == Purpose::Playback) {
        return Next::Nothing; // the clip goes on; its own failures are shown
    }
    if (nErrCode == OPENSDK_ERR_PICTURE_CODE) {
        return Next::AskAgain; // until a code works or the operator gives up
    }
    const bool bDetail = m_ePurpose == Purpose::Detail;
    if (nErrCode == OPENSDK_ERR_PICTURE_EXPIRED) {
        return bDetail ? Next::DetailExpired : Next::BigPicExpired;
    }
    return bDetail ? Next::DetailFailed : Next::Nothing;
}

CPicCodeFlow::Next CPicCodeFlow::AfterNoCode() const
{
    return m_ePurpose == Purpose::Detail ? Next::DetailFailed : Next::Nothing;
}
