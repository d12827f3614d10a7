#include "ModuleFixture.h"

#include "alarms/CAlarmMsgWnd.h"
#include "shell/ProcessEnd.h"
#include "widgets/CTipMsg.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

bool ModuleFixture::start(const QList<QJsonObject>& alarms, bool bVideo)
{
    SetModuleProcessEnd([] {});
    m_bVideo = bVideo;
    if (!sim.start() || !host.start(false)) {
        m_strError = "the simulator or the demo host did not start: " + sim.errorString();
        return false;
    }
    if (bVideo) {
        qputenv("PAVRIX_CLOUD_URL", sim.cloudUrl().toUtf8());
        qputenv("PAVRIX_CA_FILE", sim.caFile().toUtf8());
    }
    for (const QJsonObject& fields : alarms) {
        if (sim.addAlarm(fields).isEmpty()) {
            m_strError = QStringLiteral("the simulator took no alarm");
            return false;
        }
    }
    return true;
}

void ModuleFixture::writeConfig(const QString& strExtra)
{
    WriteModuleConfig(dir.path(), sim,
                      QStringLiteral("<push_info_url>%1/api/message/push/server/info</push_info_url>%2")
                          .arg(sim.baseUrl(), strExtra));
}

bool ModuleFixture::open(int nRows, const QString& strExtra)
{
    writeConfig(strExtra);
    LaunchValues::reset();
    m_client = std::make_unique<MessageClient>(
        ModuleLaunchString(host, sim, dir.filePath(QStringLiteral("cfg.xml")), m_bVideo));
    m_client->resize(1296, 721);
    m_client->show();
    if (nRows >= 0 &&
        !QTest::qWaitFor(
            [&] { return int(unreadList()->ShownRows().size()) == nRows && !unreadList()->IsBusy(); },
            30000)) {
        m_strError = QStringLiteral("the unread page never showed %1 rows").arg(nRows);
        return false;
    }
    return true;
}

QString ModuleFixture::tipText() const
{
    for (CTipMsg* pTip : m_client->findChildren<CTipMsg*>()) {
        if (pTip->isVisible()) {
            return pTip->findChild<QLabel*>(QStringLiteral("msg"))->text();
        }
    }
    return QString();
}

int ModuleFixture::rowIndex(const std::string& strSerial, int nChannel) const
{
    const std::vector<CAlarmMsgWnd*>& rows = unreadList()->ShownRows();
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i]->GetAlarmInfo().deviceSerial == strSerial &&
            rows[i]->GetAlarmInfo().channelNo == nChannel) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

CAlarmMsgWnd* ModuleFixture::clickRow(const std::string& strSerial, int nChannel)
{
    const int nIndex = rowIndex(strSerial, nChannel);
    CAlarmMsgWnd* pRow = nIndex < 0 ? nullptr : unreadList()->ShownRows()[static_cast<size_t>(nIndex)];
    if (!pRow || !QTest::qWaitFor([pRow] { return pRow->IsPicReqFinished(); }, 60000)) {
        return nullptr;
    }
    clickRowAt(nIndex);
    return pRow;
}

void ModuleFixture::clickRowAt(int nIndex)
{
    QTest::mouseClick(unreadList()->viewport(), Qt::LeftButton, {}, rowRect(nIndex).center());
}

bool ModuleFixture::startClipOf(const std::string& strSerial)
{
    if (!clickRow(strSerial)) {
        return false;
    }
    QTest::mouseClick(child<QPushButton>("plyBut"), Qt::LeftButton);
    return QTest::qWaitFor([this] { return bar()->isVisible(); }, 60000);
}
