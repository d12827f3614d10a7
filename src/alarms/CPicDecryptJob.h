// Decryption of one encrypted alarm picture on the shared picture pool: the
// camera code from the platform's copy when none is known, then the video
// library's picture decryption. The job works on copies only and hands its
// result back to the GUI thread through a receiver that the row closes when it
// goes away.
#pragma once

#include "alarms/CSdkBuffer.h"

#include <QRunnable>

#include <functional>
#include <memory>
#include <mutex>
#include <string>

class QObject;
class QThreadPool;

struct CPicDecryptRequest
{
    int nGeneration = 0;
    std::string strToken;
    std::string strPicUrl;
    std::string strDevSerial;
    std::string strCode; // empty: take the platform's copy
    std::string strIpcValidateCode;
    std::string strAesKey;
};

struct CPicDecryptResult
{
    int nGeneration = 0;
    bool bNoCode = false; // no code known and none could be decrypted
    int nRet = -1;
    int nErrCode = 0;
    std::string strErrDesc;
    std::string strCode; // the code the library was given
    std::shared_ptr<CSdkBuffer> pBuffer;
};

class CPicDecryptJob : public QRunnable
{
public:
    using Handler = std::function<void(const CPicDecryptResult&)>;

    // Delivers results on the target's thread for as long as it is open.
    class CReceiver
    {
    public:
        CReceiver(QObject* pTarget, Handler fnHandler);
        // After this returns no result reaches the target; pending ones are
        // dropped with the target's posted events, freeing their buffers.
        void Close();
        // False when closed (the caller keeps and frees the result).
        bool Deliver(const CPicDecryptResult& result);

    private:
        std::mutex m_mutex;
        QObject* m_pTarget;
        Handler m_fnHandler;
    };

    CPicDecryptJob(CPicDecryptRequest request, std::shared_ptr<CReceiver> pReceiver);
    void run() override;

    // A few threads shared by every row, so a page of encrypted pictures does
    // not start a thread per row.
    static QThreadPool& Pool();
    static void Start(CPicDecryptRequest request, std::shared_ptr<CReceiver> pReceiver);

    // Codes this short cannot be the platform's encrypted copy.
    static constexpr size_t kMinIpcCodeLength = 7;
    static constexpr int kPoolThreads = 3;

private:
    CPicDecryptResult Decrypt() const;

    CPicDecryptRequest m_request;
    std::shared_ptr<CReceiver> m_pReceiver;
};
