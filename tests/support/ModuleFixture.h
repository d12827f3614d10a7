// The window against the simulator and a headless demo host: what every window test sets up.
#pragma once

#include "ModuleLaunch.h"
#include "alarms/CListCtrl.h"
#include "base/LaunchValues.h"
#include "playback/CPlayThread.h"
#include "playback/CusSliderWnd.h"
#include "shell/MessageClient.h"

#include <QApplication>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <string>

class ModuleFixture
{
public:
    ~ModuleFixture() { close(); }

    // Starts the simulator (no demo data) with these alarms, and the host;
    // false with error() on failure. With bVideo the video library is pointed
    // at the simulator's cloud and the launch string carries its keys.
    bool start(const QList<QJsonObject>& alarms = {}, bool bVideo = false);
    // Writes the configuration (the push server's address and strExtra), builds
    // the launch string and the window, shows it and waits until the unread
    // page has nRows rows (-1: waits for nothing).
    bool open(int nRows = -1, const QString& strExtra = {});
    void close() { m_client.reset(); }
    QString error() const { return m_strError; }

    // The configuration again, e.g. with other folders; the window reads it when it needs it.
    void writeConfig(const QString& strExtra);
    MessageClient* client() const { return m_client.get(); }
    template <typename T>
    T* child(const char* szName) const
    {
        return m_client->findChild<T*>(QString::fromLatin1(szName));
    }
    CListCtrl* unreadList() const { return child<QWidget>("notReadListTab")->findChild<CListCtrl*>(); }
    CListCtrl* allList() const { return child<QWidget>("allResListTab")->findChild<CListCtrl*>(); }
    QJsonArray requests(const QString& strPath) { return sim.lastRequests(strPath, 100); }
    QString lastBody(const QString& strPath) { return requests(strPath).last()["body"].toString(); }
    // The text of the tip on screen, empty when none is.
    QString tipText() const;
    CPlayThread* worker() const { return m_client->findChild<CPlayThread*>(); }
    CusSliderWnd* bar() const { return m_client->findChild<CusSliderWnd*>(); }
    // The first unread row of this camera, -1 if none.
    int rowIndex(const std::string& strSerial, int nChannel = 1) const;
    QRect rowRect(int nIndex) const { return unreadList()->visualItemRect(unreadList()->item(nIndex)); }
    // Clicks the unread row of this camera once its picture request is over; nullptr if none.
    CAlarmMsgWnd* clickRow(const std::string& strSerial, int nChannel = 1);
    void clickRowAt(int nIndex);
    // Clicks the row and play, and waits for the control bar.
    bool startClipOf(const std::string& strSerial);
    // Runs answer on the next modal widget of type T once it is up (from inside its exec()).
    template <typename T, typename F>
    void onNextModal(F answer)
    {
        auto* pTimer = new QTimer(m_client.get());
        QObject::connect(pTimer, &QTimer::timeout, [pTimer, answer] {
            if (auto* pModal = qobject_cast<T*>(QApplication::activeModalWidget())) {
                pTimer->stop();
                pTimer->deleteLater();
                answer(pModal);
            }
        });
        pTimer->start(20);
    }

    SimulatorProcess sim{QStringList{"--seed", "none"}};
    HostProcess host;
    QTemporaryDir dir;

private:
    bool m_bVideo = false;
    QString m_strError;
    std::unique_ptr<MessageClient> m_client;
};
