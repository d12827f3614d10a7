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
#include <vector>

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

    // Delivers results on the target's thread for as long as it is open, and
    // keeps its jobs that still wait in the pool's queue, so that work nobody
    // wants any more is taken out instead of fetched.
    class CReceiver
    {
    public:
        CReceiver(QObject* pTarget, Handler fnHandler);
        // After this returns no result reaches the target and its queued jobs
        // are gone; pending results are dropped with the target's posted
        // events, freeing their buffers.
        void Close();
        // A newer load of the target: only jobs of nGeneration are wanted,
        // older ones still queued are taken out.
        void Supersede(int nGeneration);
        // False when closed (the caller keeps and frees the result).
        bool Deliver(const CPicDecryptResult& result);

    private:
        friend class CPicDecryptJob;
        void Queued(CPicDecryptJob* pJob);
        // The job leaves the queue; true when its work is still wanted.
        bool Begin(CPicDecryptJob* pJob, int nGeneration);
        // Under the lock: queued jobs older than nGeneration (all with -1)
        // out of the pool, returned for deletion after the lock is released.
        std::vector<CPicDecryptJob*> TakeQueued(int nGeneration);

        std::mutex m_mutex;
        QObject* m_pTarget;
        Handler m_fnHandler;
        int m_nWanted = 0;
        std::vector<CPicDecryptJob*> m_vecQueued;
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
