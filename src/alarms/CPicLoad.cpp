#include "alarms/CPicLoad.h"

#include "alarms/CPicFetcher.h"

#include <QHash>
#include <QStringList>

namespace {

// Parked loads by what they load; a load leaves when taken or deleted.
QHash<QString, CPicLoad*>& Parked()
{
    static QHash<QString, CPicLoad*> parked;
    return parked;
}

} // namespace

CPicLoad::CPicLoad(CPicRequest request, QObject* pOwner) : QObject(pOwner), m_request(std::move(request))
{
    m_pReceiver =
        std::make_shared<CPicJob::CReceiver>(this, [this](const CPicResult& result) { OnJobResult(result); });
}

CPicLoad::~CPicLoad()
{
    if (m_bParked) {
        Parked().remove(ParkKey(m_request));
    }
    // Its queued work is taken out; a download under way is dropped.
    m_pReceiver->Close();
}

QString CPicLoad::ParkKey(const CPicRequest& request)
{
    // Everything a load depends on: a row asking differently loads anew.
    return QStringList{QString::fromLocal8Bit(request.strPicUrl.c_str()),
                       request.bEncrypted ? QStringLiteral("1") : QStringLiteral("0"),
                       QString::number(request.szShown.width()),
                       QString::number(request.szShown.height()),
                       QString::fromLocal8Bit(request.strToken.c_str()),
                       QString::fromLocal8Bit(request.strCode.c_str()),
                       QString::fromLocal8Bit(request.strIpcValidateCode.c_str()),
                       QString::fromLocal8Bit(request.strAesKey.c_str())}
        .join(QLatin1Char('\n'));
}

CPicLoad* CPicLoad::Begin(const CPicRequest& request, QObject* pOwner)
{
    CPicLoad* pLoad = Parked().take(ParkKey(request));
    if (pLoad) {
        pLoad->m_bParked = false;
        pLoad->setParent(pOwner);
        return pLoad;
    }
    pLoad = new CPicLoad(request, pOwner);
    pLoad->Start();
    return pLoad;
}

void CPicLoad::Park(const std::vector<CPicRequest>& requests, QObject* pOwner)
{
    DropParked(pOwner);
    for (const CPicRequest& request : requests) {
        const QString strKey = ParkKey(request);
        if (Parked().contains(strKey)) {
            continue; // the same picture twice on a page, or parked by another list
        }
        auto* pLoad = new CPicLoad(request, pOwner);
        pLoad->m_bParked = true;
        Parked().insert(strKey, pLoad);
        pLoad->Start();
    }
}

void CPicLoad::DropParked(QObject* pOwner)
{
    for (CPicLoad* pLoad : pOwner->findChildren<CPicLoad*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (pLoad->m_bParked) {
            delete pLoad;
        }
    }
}

int CPicLoad::ParkedCount()
{
    return Parked().size();
}

void CPicLoad::Start()
{
    if (m_request.bEncrypted || m_request.pCache) {
        // An encrypted picture, or the cache asked first: on the pool.
        CPicJob::Start(m_request, m_pReceiver);
        return;
    }
    CPicFetcher::Fetch(m_request, m_pReceiver);
}

void CPicLoad::OnJobResult(const CPicResult& result)
{
    if (!m_request.bEncrypted && result.bCacheMiss) {
        CPicFetcher::Fetch(m_request, m_pReceiver);
        return;
    }
    Finish(result);
}

void CPicLoad::Finish(CPicResult result)
{
    m_result = std::move(result);
    m_bFinished = true;
    emit finished();
}
