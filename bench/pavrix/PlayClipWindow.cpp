#include "PlayClipWindow.h"

#include "PavrixSDK.h"

#include <QVBoxLayout>

PlayClipWindow::PlayClipWindow(QWidget* parent) : QWidget(parent)
{
    setWindowTitle("pavrix-playclip");
    auto* layout = new QVBoxLayout(this);
    m_area = new QWidget(this);
    m_area->setMinimumSize(320, 180);
    m_area->setAutoFillBackground(true);
    QPalette palette = m_area->palette();
    palette.setColor(QPalette::Window, QColor(40, 40, 60));
    m_area->setPalette(palette);
    m_status = new QLabel("waiting", this);
    layout->addWidget(m_area, 1);
    layout->addWidget(m_status);
    connect(&m_timer, &QTimer::timeout, this, &PlayClipWindow::refreshTime);
    m_timer.start(200);
}

void* PlayClipWindow::playWindow() const
{
    return reinterpret_cast<void*>(m_area->winId());
}

void PlayClipWindow::follow(const std::string& sessionId)
{
    m_sessionId = sessionId;
}

void PlayClipWindow::showMessage(unsigned int type, unsigned int code)
{
    m_lastMessage = QString("message %1 (%2)").arg(type).arg(code);
    refreshTime();
}

void PlayClipWindow::refreshTime()
{
    STREAM_TIME t{};
    QString osd = "no picture yet";
    if (!m_sessionId.empty() && OpenSDK_GetOSDTime(m_sessionId.c_str(), &t) == 0)
        osd = QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", t.iYear, t.iMonth, t.iDay, t.iHour,
                                t.iMinute, t.iSecond);
    m_status->setText(osd + "   " + m_lastMessage);
}
