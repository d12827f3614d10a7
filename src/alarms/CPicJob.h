// The work on one alarm picture that must not hold the GUI thread, done on
// the shared picture pool from copies: the snapshot cache looked up and
// filled, an encrypted picture fetched and decrypted through the video
// library, and the picture decoded straight to the size it is shown at. The
// result goes back to the GUI thread through a receiver that the row closes
// when it goes away.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QRunnable>
#include <QSize>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CSnapCache;
class QObject;
class QThreadPool;

struct CPicRequest
{
    bool bEncrypted = false;
    std::string strPicUrl;
    QSize szShown;                      // decoded to this size
    std::shared_ptr<CSnapCache> pCache; // none: nothing kept

    // A plain picture: the bytes as downloaded, with the time they may be kept
    // until; without bytes the job only looks in the cache.
    QByteArray baFetched;
    qint64 nKeepUntilMs = 0;
    std::string strRedirectedUrl; // where a redirect sent its download

    // An encrypted picture.
    std::string strToken;
    std::string strDevSerial;
    std::string strCode; // empty: take the platform's copy
    std::string strIpcValidateCode;
    std::string strAesKey;
};

struct CPicResult
{
    bool bCacheMiss = false; // a plain picture the cache does not have: download it
    bool bFromCache = false;
    bool bNoCode = false; // no code known and none could be decrypted
    int nRet = -1;        // the video library's result (encrypted pictures)
    int nErrCode = 0;
    std::string strErrDesc;
    std::string strCode;    // the code the library was given
    QByteArray baFetched;   // as fetched: an encrypted picture still encrypted
    QByteArray baDecrypted; // an encrypted picture, decrypted
    QImage imgShown;        // null when the bytes are no picture
    int nNetError = 0;      // a plain picture's download failed (QNetworkReply::NetworkError)
    bool bRefused = false;  // a plain picture's redirects or size were refused
};

class CPicJob : public QRunnable
{
public:
    using Handler = std::function<void(const CPicResult&)>;

    // Delivers results on the target's thread for as long as it is open, and
    // keeps its jobs that still wait in the pool's queue, so that work nobody
    // wants any more is taken out instead of done. One per load.
    class CReceiver
    {
    public:
        CReceiver(QObject* pTarget, Handler fnHandler);
        // After this returns no result reaches the target and its queued jobs
        // are gone; pending results are dropped with the target's posted
        // events.
        void Close();
        // False when closed.
        bool Deliver(const CPicResult& result);
        bool IsOpen();

    private:
        friend class CPicJob;
        void Queued(CPicJob* pJob);
        // The job leaves the queue; true when its work is still wanted.
        bool Begin(CPicJob* pJob);

        std::mutex m_mutex;
        QObject* m_pTarget;
        Handler m_fnHandler;
        std::vector<CPicJob*> m_vecQueued;
    };

    CPicJob(CPicRequest request, std::shared_ptr<CReceiver> pReceiver);
    void run() override;

    // A few threads shared by every row, so a page of pictures does not
    // start a thread per row.
    static QThreadPool& Pool();
    static void Start(CPicRequest request, std::shared_ptr<CReceiver> pReceiver);

    // The bytes decoded to szShown (any size when invalid); null when they
    // are no picture.
    static QImage Decode(const QByteArray& baBytes, const QSize& szShown);

    // Codes this short cannot be the platform's encrypted copy.
    static constexpr size_t kMinIpcCodeLength = 7;
    static constexpr int kPoolThreads = 3;

private:
    CPicResult Plain() const;
    CPicResult Encrypted() const;
    // Fetched bytes of an encrypted picture decrypted into the result.
    void DecryptInto(CPicResult& result) const;

    CPicRequest m_request;
    std::shared_ptr<CReceiver> m_pReceiver;
};
