// One load of an alarm picture, run from the GUI thread: the snapshot cache
// asked first (on the picture pool), a plain picture downloaded on the
// download thread (CPicFetcher) and decoded on the pool, an encrypted one
// fetched and decrypted through the video library on the pool. A row owns the load it waits for;
// deleting a load ends it (its reply aborted, its queued work taken out).
//
// A list parks the loads of a page as soon as its reply is parsed, before
// the rows are made; a row that asks for the same picture takes the parked
// load over instead of starting its own.
#pragma once

#include "alarms/CPicJob.h"

#include <QObject>

#include <memory>

class CPicLoad : public QObject
{
    Q_OBJECT
public:
    // The parked load of the same picture, taken over by pOwner, or a new
    // one. A parked load may be finished already (IsFinished()); otherwise
    // finished() comes later, through the event loop.
    static CPicLoad* Begin(const CPicRequest& request, QObject* pOwner);
    // Starts a load for each request, parked under pOwner until a row takes
    // it; what pOwner had parked and nobody took goes.
    static void Park(const std::vector<CPicRequest>& requests, QObject* pOwner);
    // Loads pOwner parked that no row took.
    static void DropParked(QObject* pOwner);
    static int ParkedCount();

    ~CPicLoad() override;

    bool IsFinished() const { return m_bFinished; }
    const CPicRequest& Request() const { return m_request; }
    // Of a plain picture as of an encrypted one; nNetError set when the
    // download failed, bRefused when its redirects or size were refused.
    const CPicResult& Result() const { return m_result; }

signals:
    void finished();

private:
    CPicLoad(CPicRequest request, QObject* pOwner);
    static QString ParkKey(const CPicRequest& request);
    void Start();
    void OnJobResult(const CPicResult& result);
    void Finish(CPicResult result);

    CPicRequest m_request;
    std::shared_ptr<CPicJob::CReceiver> m_pReceiver;
    bool m_bFinished = false;
    bool m_bParked = false;
    CPicResult m_result;
};
