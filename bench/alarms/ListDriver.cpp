#include "ListDriver.h"

#include "BenchClock.h"
#include "ReplyArrivalHook.h"
#include "StallMeter.h"

#include "HostProcess.h"
#include "SimulatorProcess.h"

#include "alarms/AlarmShared.h"
#include "alarms/CAlarmMsgWnd.h"
#include "alarms/CListCtrl.h"
#include "base/LaunchValues.h"
#include "platform/PermissionTable.h"
#include "shell/MessageClient.h"

#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

ListDriver::ListDriver(SimulatorProcess& sim, HostProcess& host, const QString& cfgPath, QObject* parent)
    : QObject(parent), m_sim(sim), m_host(host), m_cfgPath(cfgPath)
{
}

ListDriver::~ListDriver() = default;

bool ListDriver::open(QString* error)
{
    LaunchValues::reset();
    PermissionTable().clear();
    DeleteIdList().clear();
    m_client = std::make_unique<MessageClient>(
        QString("ParentWnd:%1;Token:%2;RefreshToken:%3;ServerUrl:%4;CfgPath:%5;AesKey:%6;Appkey:%7;"
                "AccessToken:%8;TrustAccessToken:%9")
            .arg(QString::number(m_host.handle()), m_sim.token(), m_sim.refreshToken(), m_sim.baseUrl(),
                 m_cfgPath, m_sim.aesKey(), m_sim.appKey(), m_sim.accessToken(), m_sim.trustAccessToken()));
    m_client->resize(1296, 721);
    m_client->show();
    m_list = m_client->findChild<QWidget*>("allResListTab")->findChild<CListCtrl*>();
    connect(m_list, &CListCtrl::InterUpdateListSignal, this, [this] {
        if (m_state == State::Arrived && !m_listUpdated) {
            m_listUpdated = true;
            m_flip.builtMs = nowMs() - m_arrivalMs;
        }
    });
    m_hook = std::make_unique<ReplyArrivalHook>(QStringList{"GetAllMsg"});
    connect(m_hook.get(), &ReplyArrivalHook::arrived, this,
            [this](const QString&, double atMs) { onArrived(atMs); });
    m_stall = std::make_unique<StallMeter>();
    m_stall->start();

    // The window opens on the unread tab; the all-messages tab asks for its page 1.
    m_flip = Flip();
    m_listUpdated = false;
    m_state = State::Waiting;
    m_client->findChild<QTabWidget*>("resTab")->setCurrentIndex(0);
    if (!waitFor(State::Done, 30000) || !m_flip.ok) {
        *error = "page 1 of the all-messages list: " + m_flip.error;
        return false;
    }
    return true;
}

int ListDriver::currentPage() const
{
    return m_client->findChild<QLabel*>("pageLab")->text().section('/', 0, 0).toInt();
}

int ListDriver::pageCount() const
{
    return m_client->findChild<QLabel*>("pageLab")->text().section('/', 1, 1).toInt();
}

bool ListDriver::pressButtonFor(int page)
{
    const int current = currentPage();
    const char* name = page == current + 1   ? "nextPageBtn"
                       : page == current - 1 ? "prePageBtn"
                       : page == 1           ? "firstPageBtn"
                       : page == pageCount() ? "lastPageBtn"
                                             : nullptr;
    auto* button = name ? m_client->findChild<QPushButton*>(name) : nullptr;
    if (!button || !button->isEnabled()) {
        return false;
    }
    button->click();
    return true;
}

ListDriver::Flip ListDriver::flipTo(int page, int timeoutMs)
{
    m_flip = Flip();
    m_oldFirstId = m_list->ShownRows().empty() ? -1 : m_list->ShownRows().front()->GetMsgId();
    m_listUpdated = false;
    m_state = State::Waiting;
    if (!pressButtonFor(page)) {
        m_state = State::Idle;
        m_flip.error = QString("no button leads from page %1 to %2").arg(currentPage()).arg(page);
        return m_flip;
    }
    if (!waitFor(State::Done, timeoutMs)) {
        m_flip.error = QString("page %1 not shown within %2 ms").arg(page).arg(timeoutMs);
    } else if (m_flip.ok && currentPage() != page) {
        m_flip.ok = false;
        m_flip.error = QString("asked for page %1, the list shows %2").arg(page).arg(currentPage());
    }
    m_state = State::Idle;
    return m_flip;
}

void ListDriver::onArrived(double atMs)
{
    if (m_state != State::Waiting) {
        return;
    }
    m_arrivalMs = atMs;
    m_state = State::Arrived;
    m_stall->openWindow();
}

bool ListDriver::pageShown(QString* error) const
{
    // The old page's rows stay until the new page starts going in.
    if (m_list->IsBusy()) {
        return false;
    }
    const std::vector<CAlarmMsgWnd*>& rows = m_list->ShownRows();
    if (static_cast<int>(rows.size()) != m_rowsPerPage) {
        return false;
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        if (!rows[i]->IsPicReqFinished()) {
            return false;
        }
        if (!rows[i]->HasPic()) {
            *error = QString("row %1 (message %2) has no picture").arg(i).arg(rows[i]->GetMsgId());
            return true;
        }
    }
    return true;
}

void ListDriver::poll()
{
    if (m_state != State::Arrived || !m_listUpdated) {
        return;
    }
    if (m_flip.insertedMs == 0.0 && !m_list->ShownRows().empty() &&
        m_list->ShownRows().front()->GetMsgId() != m_oldFirstId) {
        m_flip.insertedMs = nowMs() - m_arrivalMs;
        m_stall->mark();
    }
    if (m_flip.allInMs == 0.0 && !m_list->IsBusy()) {
        m_flip.allInMs = nowMs() - m_arrivalMs;
    }
    QString error;
    if (!pageShown(&error)) {
        return;
    }
    m_flip.showMs = nowMs() - m_arrivalMs;
    m_flip.maxStallMs = m_stall->closeWindow();
    m_flip.maxStallAfterInsertMs = m_stall->maxSinceMark();
    m_flip.ok = error.isEmpty();
    m_flip.error = error;
    m_state = State::Done;
}

bool ListDriver::waitFor(State state, int timeoutMs)
{
    // A real nested loop, not processEvents: replies and rows deleted later
    // must really go, or the memory figures would grow for nothing.
    QEventLoop loop;
    QTimer poller;
    poller.setTimerType(Qt::PreciseTimer);
    connect(&poller, &QTimer::timeout, &loop, [this, state, &loop] {
        poll();
        if (m_state == state) {
            loop.quit();
        }
    });
    poller.start(1);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    if (m_state != state) {
        m_stall->closeWindow();
        return false;
    }
    return true;
}
