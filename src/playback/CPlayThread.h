// Plays the recorded clip of one alarm through the video library: owns the
// module's single playback session.
#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <string>

class MessageClient;

class CPlayThread : public QObject
{
    Q_OBJECT
public:
    explicit CPlayThread(MessageClient* pOwner);
    ~CPlayThread() override;

    void SetPlayWnd(void* hWnd);
    void InitSession();
    void StopRecordPlay();
    bool IsRecordPlaying() const { return m_bHasFrame; }
    bool IsPlayRequested() const { return m_bPlayRequested; }
    const std::string& SessionId() const { return m_strSessionId; }

signals:
    void RealPlayFirstFrameSignal(std::string devSerial, std::string devEncryptCode, QString strAlarmTm);
    void RecordPlayException(QString strMsg);
    void SliderPressOrDrag();
    void HasFrameSignal(int type, bool flag = false);

private:
    static void RecordMessageHandler(const char* szSessionId, unsigned int iMsgType, unsigned int iErrorCode,
                                     const char* pMessageInfo, void* pUser);
    static void RecordDataHandler(unsigned int enType, char* pData, unsigned int iLen, void* pUser);

    MessageClient* m_pOwner = nullptr;
    void* m_hPlayWnd = nullptr;
    std::string m_strSessionId;
    std::atomic<bool> m_bHasFrame{false};
    std::atomic<bool> m_bPlayRequested{false};
    std::atomic<bool> m_bPause{false};
};
