// Plain alarm pictures downloaded on a thread of their own: requests sent,
// redirects followed, sizes capped and replies read there, the bytes handed
// on to a decode job of the picture pool. The GUI thread spends nothing on a
// download while it builds a page.
#pragma once

#include "alarms/CPicJob.h"

#include <QObject>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QThread;

class CPicFetcher : public QObject
{
    Q_OBJECT
public:
    // Any thread. Downloads request.strPicUrl; the picture goes on to a
    // decode job (which keeps it in the cache) and from there to pReceiver,
    // a failure straight to pReceiver. Nothing is done for a receiver that
    // is closed by then.
    static void Fetch(CPicRequest request, std::shared_ptr<CPicJob::CReceiver> pReceiver);
    // Ends the thread (its connections close); the next Fetch starts it again.
    static void Stop();

    static constexpr int kMaxRedirects = 5;

private:
    CPicFetcher();
    static CPicFetcher* Instance();
    void Get(CPicRequest request, std::shared_ptr<CPicJob::CReceiver> pReceiver, int nRedirects);
    void OnFinished(QNetworkReply* reply, CPicRequest request, std::shared_ptr<CPicJob::CReceiver> pReceiver,
                    int nRedirects);

    QNetworkAccessManager* m_pManager = nullptr;
};
