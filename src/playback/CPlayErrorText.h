// Operator texts for what the video library reports about a playback.
#pragma once

#include <QString>

class CPlayErrorText
{
public:
    // A play failure (message 0): the text when the message text is one of the
    // library's "UE" codes, else the text for the error code; empty for code 0,
    // which the operator is not told about.
    static QString ForPlayFailure(const char* szMessage, unsigned int nErrorCode);
    // Empty when the message text is not a known "UE" code.
    static QString ForMessageCode(const char* szMessage);
    // "播放异常" for codes not listed; empty for 0.
    static QString ForErrorCode(unsigned int nErrorCode);
};
