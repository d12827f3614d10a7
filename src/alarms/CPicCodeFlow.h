// The code of the selected alarm's encrypted picture, one flow whatever the
// decryption was started for: the detail page, the large view, or a clip
// about to play. It keeps what the decryption in flight was for and decides
// what follows its end; the window asks and shows.
#pragma once

#include <string>

class CPicCodeFlow
{
public:
    enum class Purpose
    {
        Detail,
        BigPic,
        Playback
    };
    // What follows a decryption that failed, or a code dialog given up.
    enum class Next
    {
        Nothing,
        AskAgain,      // the code was wrong: the dialog again, with its error text
        DetailExpired, // the picture is gone: the detail page says so
        DetailFailed,  // the detail page says the decryption failed
        BigPicExpired  // the large view opens on its error page
    };

    void SetPurpose(Purpose ePurpose) { m_ePurpose = ePurpose; }
    Purpose GetPurpose() const { return m_ePurpose; }

    // A decryption goes out for the message with this code, typed in the
    // dialog or found for its camera.
    void Begin(int nMsgId, const std::string& strCode, bool bFromDialog);
    // Its result still concerns the message selected now.
    bool IsFor(int nSelectedId) const { return m_nMsgId == nSelectedId; }
    const std::string& Code() const { return m_strCode; }
    // A code typed in the dialog that worked is kept for the camera.
    bool KeepsCode() const { return m_bFromDialog; }
    // A decrypted picture opens the large view when that was asked for.
    bool OpensBigPic(bool bHasPicture) const { return m_ePurpose == Purpose::BigPic && bHasPicture; }

    // After a failure with the video library's error code.
    Next AfterFailure(int nErrCode) const;
    // After the dialog asked again ended without a code.
    Next AfterNoCode() const;

private:
    Purpose m_ePurpose = Purpose::Detail;
    int m_nMsgId = -1;
    std::string m_strCode;
    bool m_bFromDialog = false;
};
