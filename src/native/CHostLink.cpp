#include "native/CHostLink.h"

#include "logkit/LogKit.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QMutex>
#include <QThread>

#include <memory>

namespace {

constexpr const char* kTag = "MessageClient";
constexpr int kConnectTimeoutMs = 1000;
constexpr int kReplyTimeoutMs = 2000;

QMutex g_instanceMutex;
QPointer<CHostLink> g_pInstance;
std::unique_ptr<CHostLink> g_pUnowned; // only when there is no application object

} // namespace

CHostLink* CHostLink::instance()
{
    QMutexLocker locker(&g_instanceMutex);
    if (g_pInstance) {
        return g_pInstance;
    }
    QCoreApplication* pApp = QCoreApplication::instance();
    if (!pApp) {
        g_pUnowned = std::make_unique<CHostLink>();
        g_pInstance = g_pUnowned.get();
        return g_pInstance;
    }
    if (QThread::currentThread() == pApp->thread()) {
        g_pInstance = new CHostLink(pApp);
        return g_pInstance;
    }
    // First use off the GUI thread: the link still belongs to the GUI thread,
    // and the application adopts it there.
    auto* pLink = new CHostLink(nullptr);
    pLink->moveToThread(pApp->thread());
    QMetaObject::invokeMethod(
        pApp, [pLink, pApp]() { pLink->setParent(pApp); }, Qt::QueuedConnection);
    g_pInstance = pLink;
    return pLink;
}

QString CHostLink::serverName(HWND hWnd)
{
    return CHostFrame::serverName(hWnd);
}

CHostLink::CHostLink(QObject* pParent) : QObject(pParent)
{
    qRegisterMetaType<HostCommand>("HostCommand");
}

CHostLink::~CHostLink()
{
    // Sockets are children and die after this body: keep their last signals away.
    for (auto it = m_hashPeers.begin(); it != m_hashPeers.end(); ++it) {
        if (it->pSocket) {
            it->pSocket->disconnect(this);
        }
    }
}

bool CHostLink::onOwnThread(const char* szFunction) const
{
    if (QThread::currentThread() == thread()) {
        return true;
    }
    LogWrite(5, kTag, "<%d>\t<%s>,called off the link's thread, refused", __LINE__, szFunction);
    return false;
}

quint32 CHostLink::nextSeq()
{
    const quint32 nSeq = m_nNextSeq++;
    if (m_nNextSeq == 0) {
        m_nNextSeq = 1;
    }
    return nSeq;
}

bool CHostLink::isWindow(HWND hWnd)
{
    if (hWnd == 0 || !onOwnThread("CHostLink::isWindow")) {
        return false;
    }
    return peerSocket(hWnd, true) != nullptr;
}

QLocalSocket* CHostLink::peerSocket(HWND hWnd, bool bConnect)
{
    auto it = m_hashPeers.find(hWnd);
    if (it != m_hashPeers.end()) {
        if (it->pSocket && it->pSocket->state() == QLocalSocket::ConnectedState) {
            return it->pSocket;
        }
        dropPeer(hWnd, "link found closed");
    }
    if (!bConnect || hWnd == 0) {
        return nullptr;
    }
    auto* pSocket = new QLocalSocket(this);
    connect(pSocket, &QLocalSocket::readyRead, this, [this, hWnd, pSocket]() {
        if (m_hashPeers.value(hWnd).pSocket == pSocket) {
            readPeer(hWnd);
        }
    });
    connect(pSocket, &QLocalSocket::disconnected, this, [this, hWnd, pSocket]() {
        if (m_hashPeers.value(hWnd).pSocket == pSocket) {
            dropPeer(hWnd, "host closed the link");
        }
    });
    pSocket->connectToServer(serverName(hWnd));
    if (!pSocket->waitForConnected(kConnectTimeoutMs)) {
        LogWrite(3, kTag, "<%d>\t<%s>,no host window %lld: %s", __LINE__, "CHostLink::peerSocket",
                 qint64(hWnd), pSocket->errorString().toLocal8Bit().constData());
        pSocket->disconnect(this);
        delete pSocket;
        return nullptr;
    }
    SPeer peer;
    peer.pSocket = pSocket;
    m_hashPeers.insert(hWnd, peer);
    LogWrite(3, kTag, "<%d>\t<%s>,linked to host window %lld", __LINE__, "CHostLink::peerSocket",
             qint64(hWnd));
    return pSocket;
}

void CHostLink::dropPeer(HWND hWnd, const char* szReason)
{
    auto it = m_hashPeers.find(hWnd);
    if (it == m_hashPeers.end()) {
        return;
    }
    QPointer<QLocalSocket> pSocket = it->pSocket;
    m_hashPeers.erase(it);
    LogWrite(3, kTag, "<%d>\t<%s>,host window %lld gone: %s", __LINE__, "CHostLink::dropPeer", qint64(hWnd),
             szReason);
    if (pSocket) {
        pSocket->disconnect(this);
        pSocket->abort();
        pSocket->deleteLater();
    }
    SPending pending;
    pending.bGone = true;
    queuePending(pending);
}

bool CHostLink::writeFrame(HWND hWnd, const CHostFrame& frame, const char* szFunction)
{
    QLocalSocket* pSocket = peerSocket(hWnd, true);
    if (!pSocket) {
        LogWrite(5, kTag, "<%d>\t<%s>,host window %lld not reachable, message %u dropped", __LINE__,
                 szFunction, qint64(hWnd), frame.m_nMsg);
        return false;
    }
    const QByteArray baFrame = frame.encode();
    if (baFrame.isEmpty()) {
        LogWrite(5, kTag, "<%d>\t<%s>,message %u too large for the link (%d bytes), dropped", __LINE__,
                 szFunction, frame.m_nMsg, frame.m_baData.size());
        return false;
    }
    if (pSocket->write(baFrame) != baFrame.size()) {
        LogWrite(5, kTag, "<%d>\t<%s>,write to host window %lld failed: %s", __LINE__, szFunction,
                 qint64(hWnd), pSocket->errorString().toLocal8Bit().constData());
        return false;
    }
    pSocket->flush();
    return true;
}

bool CHostLink::awaitReply(HWND hWnd, quint32 nSeq, int nTimeoutMs, CHostFrame& reply)
{
    m_listAwaited.append(nSeq);
    QDeadlineTimer deadline(nTimeoutMs);
    bool bGot = false;
    // Waiting for input does not push out a large request still in the buffer.
    QPointer<QLocalSocket> pWriter = peerSocket(hWnd, false);
    while (pWriter && pWriter->bytesToWrite() > 0 && !deadline.hasExpired() &&
           pWriter->waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime())))) {
    }
    for (;;) {
        if (m_hashReplies.contains(nSeq)) {
            reply = m_hashReplies.take(nSeq);
            bGot = true;
            break;
        }
        QPointer<QLocalSocket> pSocket = peerSocket(hWnd, false);
        if (!pSocket) {
            LogWrite(5, kTag, "<%d>\t<%s>,host window %lld went away before answering %u", __LINE__,
                     "CHostLink::awaitReply", qint64(hWnd), nSeq);
            break;
        }
        if (deadline.hasExpired()) {
            LogWrite(5, kTag, "<%d>\t<%s>,host window %lld did not answer %u within %d ms", __LINE__,
                     "CHostLink::awaitReply", qint64(hWnd), nSeq, nTimeoutMs);
            break;
        }
        // Frames that arrive meanwhile are read here; commands among them are
        // queued and delivered after this call returns, never inside it.
        if (!pSocket->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))) && pSocket &&
            pSocket->state() != QLocalSocket::ConnectedState) {
            dropPeer(hWnd, "link lost while waiting");
            continue;
        }
        readPeer(hWnd);
    }
    m_listAwaited.removeAll(nSeq);
    return bGot;
}

void CHostLink::readPeer(HWND hWnd)
{
    auto it = m_hashPeers.find(hWnd);
    if (it == m_hashPeers.end() || !it->pSocket) {
        return;
    }
    it->baBuffer.append(it->pSocket->readAll());
    for (;;) {
        CHostFrame frame;
        QString strError;
        // The entry is looked up afresh each round: dispatching never drops a
        // peer, but a broken stream does.
        QByteArray& baBuffer = m_hashPeers[hWnd].baBuffer;
        const CHostFrame::DecodeResult eResult = CHostFrame::takeFrame(baBuffer, frame, strError);
        if (eResult == CHostFrame::NeedMore) {
            return;
        }
        if (eResult == CHostFrame::Broken) {
            LogWrite(5, kTag, "<%d>\t<%s>,unreadable stream from host window %lld (%s), link closed",
                     __LINE__, "CHostLink::readPeer", qint64(hWnd), strError.toLocal8Bit().constData());
            dropPeer(hWnd, "unreadable stream");
            return;
        }
        if (eResult == CHostFrame::Dropped) {
            LogWrite(5, kTag, "<%d>\t<%s>,frame from host window %lld dropped: %s", __LINE__,
                     "CHostLink::readPeer", qint64(hWnd), strError.toLocal8Bit().constData());
            continue;
        }
        dispatchFrame(hWnd, frame);
    }
}

void CHostLink::dispatchFrame(HWND hWnd, const CHostFrame& frame)
{
    switch (frame.m_eType) {
    case CHostFrame::Ack:
    case CHostFrame::RectReply:
    case CHostFrame::WindowReply:
        if (m_listAwaited.contains(frame.m_nSeq)) {
            m_hashReplies.insert(frame.m_nSeq, frame);
        } else {
            LogWrite(5, kTag, "<%d>\t<%s>,late or unknown %s %u from host window %lld dropped", __LINE__,
                     "CHostLink::dispatchFrame", CHostFrame::typeName(frame.m_eType).toLatin1().constData(),
                     frame.m_nSeq, qint64(hWnd));
        }
        break;
    case CHostFrame::Command: {
        LogWrite(3, kTag, "<%d>\t<%s>,host command %d value %d", __LINE__, "CHostLink::dispatchFrame",
                 int(frame.m_tCommand.eKind), frame.m_tCommand.nValue);
        SPending pending;
        pending.tCommand = frame.m_tCommand;
        queuePending(pending);
        break;
    }
    default:
        LogWrite(5, kTag, "<%d>\t<%s>,%s frame is not for the module, dropped", __LINE__,
                 "CHostLink::dispatchFrame", CHostFrame::typeName(frame.m_eType).toLatin1().constData());
        break;
    }
}

void CHostLink::queuePending(const SPending& pending)
{
    m_listPending.append(pending);
    if (!m_bFlushQueued) {
        m_bFlushQueued = true;
        QMetaObject::invokeMethod(
            this, [this]() { flushPending(); }, Qt::QueuedConnection);
    }
}

void CHostLink::flushPending()
{
    m_bFlushQueued = false;
    // A handler may send, which may queue more: they are delivered in this same round.
    while (!m_listPending.isEmpty()) {
        const SPending pending = m_listPending.takeFirst();
        if (pending.bGone) {
            emit hostGone();
        } else {
            emit hostCommand(pending.tCommand);
        }
    }
}

LRESULT CHostLink::sendMessage(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    if (nMsg == WM_COPYDATA && lParam != 0) {
        return sendCopyData(hWnd, wParam, *reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    }
    if (!onOwnThread("CHostLink::sendMessage")) {
        return 0;
    }
    const quint32 nSeq = nextSeq();
    if (!writeFrame(hWnd, CHostFrame::makeSend(nSeq, nMsg, wParam, lParam), "CHostLink::sendMessage")) {
        return 0;
    }
    CHostFrame reply;
    if (!awaitReply(hWnd, nSeq, kReplyTimeoutMs, reply) || reply.m_eType != CHostFrame::Ack) {
        return 0;
    }
    return reply.m_nResult;
}

bool CHostLink::postMessage(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    return postMessageWithData(hWnd, nMsg, wParam, lParam, QByteArray());
}

bool CHostLink::postMessageWithData(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam,
                                    const QByteArray& baData)
{
    if (QThread::currentThread() != thread()) {
        // The bytes are copied into the queued call, so the caller's buffer may go.
        QMetaObject::invokeMethod(
            this,
            [this, hWnd, nMsg, wParam, lParam, baData]() {
                postMessageWithData(hWnd, nMsg, wParam, lParam, baData);
            },
            Qt::QueuedConnection);
        return true;
    }
    return writeFrame(hWnd, CHostFrame::makePost(nextSeq(), nMsg, wParam, lParam, baData),
                      "CHostLink::postMessage");
}

LRESULT CHostLink::sendCopyData(HWND hWnd, WPARAM wParam, const COPYDATASTRUCT& data)
{
    if (!onOwnThread("CHostLink::sendCopyData")) {
        return 0;
    }
    if (data.cbData > 0 && !data.lpData) {
        LogWrite(5, kTag, "<%d>\t<%s>,copy data of %u bytes without a buffer, dropped", __LINE__,
                 "CHostLink::sendCopyData", data.cbData);
        return 0;
    }
    if (data.cbData > CHostFrame::kMaxFrameSize) {
        LogWrite(5, kTag, "<%d>\t<%s>,copy data of %u bytes too large for the link, dropped", __LINE__,
                 "CHostLink::sendCopyData", data.cbData);
        return 0;
    }
    const QByteArray baData(static_cast<const char*>(data.lpData), int(data.cbData));
    const quint32 nSeq = nextSeq();
    if (!writeFrame(hWnd, CHostFrame::makeCopyData(nSeq, wParam, data.dwData, baData),
                    "CHostLink::sendCopyData")) {
        return 0;
    }
    CHostFrame reply;
    if (!awaitReply(hWnd, nSeq, kReplyTimeoutMs, reply) || reply.m_eType != CHostFrame::Ack) {
        return 0;
    }
    return reply.m_nResult;
}

bool CHostLink::getWindowRect(HWND hWnd, RECT* pRect)
{
    if (!pRect || !onOwnThread("CHostLink::getWindowRect")) {
        return false;
    }
    const quint32 nSeq = nextSeq();
    if (!writeFrame(hWnd, CHostFrame::makeRectRequest(nSeq), "CHostLink::getWindowRect")) {
        return false;
    }
    CHostFrame reply;
    if (!awaitReply(hWnd, nSeq, kReplyTimeoutMs, reply) || reply.m_eType != CHostFrame::RectReply ||
        !reply.m_bOk) {
        return false;
    }
    *pRect = reply.m_rect;
    return true;
}

bool CHostLink::requestEmbedding(HWND hWnd, quint64 nModuleWindow, quint64& nHolder, quint64& nHostTop)
{
    if (!onOwnThread("CHostLink::requestEmbedding")) {
        return false;
    }
    const quint32 nSeq = nextSeq();
    if (!writeFrame(hWnd, CHostFrame::makeWindowRequest(nSeq, nModuleWindow),
                    "CHostLink::requestEmbedding")) {
        return false;
    }
    CHostFrame reply;
    if (!awaitReply(hWnd, nSeq, kReplyTimeoutMs, reply) || reply.m_eType != CHostFrame::WindowReply ||
        !reply.m_bOk || reply.m_nWindow == 0) {
        return false;
    }
    nHolder = reply.m_nWindow;
    nHostTop = reply.m_nHostWindow;
    return true;
}

bool CHostLink::postSignal(HWND hWnd, const HostSignal& signal)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, hWnd, signal]() { postSignal(hWnd, signal); }, Qt::QueuedConnection);
        return true;
    }
    return writeFrame(hWnd, CHostFrame::makeSignal(nextSeq(), signal), "CHostLink::postSignal");
}

namespace native {

bool IsWindow(HWND hWnd)
{
    return CHostLink::instance()->isWindow(hWnd);
}

LRESULT SendMessage(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    return CHostLink::instance()->sendMessage(hWnd, nMsg, wParam, lParam);
}

bool PostMessage(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    return CHostLink::instance()->postMessage(hWnd, nMsg, wParam, lParam);
}

bool GetWindowRect(HWND hWnd, RECT* pRect)
{
    return CHostLink::instance()->getWindowRect(hWnd, pRect);
}

} // namespace native
