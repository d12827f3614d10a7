#include "HostWindow.h"

#include "HostEndpoint.h"
#include "MessageText.h"
#include "ModuleProcess.h"

#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

HostWindow::HostWindow(HostEndpoint* endpoint, ModuleProcess* module, QWidget* parent)
    : QMainWindow(parent), m_endpoint(endpoint), m_module(module), m_moveTimer(new QTimer(this))
{
    setWindowTitle(QStringLiteral("Demo host — %1").arg(endpoint->serverName()));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    auto* info = new QHBoxLayout;
    m_status = new QLabel(QStringLiteral("module: not connected"), central);
    m_unread = new QLabel(QStringLiteral("unread: -"), central);
    m_token = new QLabel(QStringLiteral("token: -"), central);
    m_refreshToken = new QLabel(QStringLiteral("refresh token: -"), central);
    for (QLabel* label : {m_status, m_unread, m_token, m_refreshToken}) {
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        info->addWidget(label);
    }
    info->addStretch();
    layout->addLayout(info);
    layout->addWidget(buildButtons());

    m_log = new QPlainTextEdit(central);
    m_log->setReadOnly(true);
    m_log->setMaximumBlockCount(5000);
    layout->addWidget(m_log, 1);
    setCentralWidget(central);
    resize(900, 560);

    // A moving host window tells the module once it has come to rest.
    m_moveTimer->setSingleShot(true);
    m_moveTimer->setInterval(150);
    connect(m_moveTimer, &QTimer::timeout, this, [this]() {
        updateRect();
        if (m_endpoint->clientCount() == 0) {
            return;
        }
        HostCommand moved;
        moved.eKind = HostCommand::Moved;
        send(moved);
    });

    connect(m_endpoint, &HostEndpoint::clientConnected, this, [this]() {
        m_status->setText(QStringLiteral("module: connected"));
        appendLog(QStringLiteral("module connected"));
    });
    connect(m_endpoint, &HostEndpoint::clientDisconnected, this, [this]() {
        m_status->setText(QStringLiteral("module: not connected"));
        appendLog(QStringLiteral("module disconnected"));
    });
    connect(m_endpoint, &HostEndpoint::frameReceived, this, &HostWindow::onFrame);
    connect(m_endpoint, &HostEndpoint::badFrame, this,
            [this](const QString& reason) { appendLog(QStringLiteral("bad frame: ") + reason); });
    connect(m_module, &ModuleProcess::started, this,
            [this](qint64 pid) { appendLog(QStringLiteral("module process %1 started").arg(pid)); });
    connect(m_module, &ModuleProcess::finished, this, [this](int code, bool crashed) {
        appendLog(crashed ? QStringLiteral("module process crashed")
                          : QStringLiteral("module process exited with code %1").arg(code));
    });
}

QWidget* HostWindow::buildButtons()
{
    auto* box = new QGroupBox(QStringLiteral("Host operations"), this);
    auto* grid = new QGridLayout(box);

    auto* showRow = new QHBoxLayout;
    m_pushedId = new QSpinBox(box);
    m_pushedId->setRange(-1, 1000000000);
    m_pushedId->setValue(0);
    m_pushedId->setPrefix(QStringLiteral("pushed id "));
    auto* showButton = new QPushButton(QStringLiteral("Show"), box);
    connect(showButton, &QPushButton::clicked, this, [this]() {
        HostCommand command;
        command.eKind = HostCommand::Show;
        command.nValue = m_pushedId->value();
        send(command);
    });
    showRow->addWidget(m_pushedId);
    showRow->addWidget(showButton);
    grid->addLayout(showRow, 0, 0, 1, 2);

    auto* hideRow = new QHBoxLayout;
    addButton(hideRow, QStringLiteral("Hide (keep overlays)"), HostCommand::Hide, 1);
    addButton(hideRow, QStringLiteral("Hide (reset)"), HostCommand::Hide, 0);
    grid->addLayout(hideRow, 0, 2, 1, 2);

    auto* stateRow = new QHBoxLayout;
    addButton(stateRow, QStringLiteral("Minimise"), HostCommand::Minimise, 1);
    addButton(stateRow, QStringLiteral("Restore"), HostCommand::Minimise, 0);
    addButton(stateRow, QStringLiteral("Big picture on"), HostCommand::BigPicture, 1);
    addButton(stateRow, QStringLiteral("Big picture off"), HostCommand::BigPicture, 0);
    grid->addLayout(stateRow, 1, 0, 1, 4);

    auto* eventRow = new QHBoxLayout;
    addButton(eventRow, QStringLiteral("Moved"), HostCommand::Moved);
    addButton(eventRow, QStringLiteral("New alarm"), HostCommand::NewAlarm);
    addButton(eventRow, QStringLiteral("Start push"), HostCommand::StartPush);
    addButton(eventRow, QStringLiteral("Close module"), HostCommand::Close);
    auto* startButton = new QPushButton(QStringLiteral("Start module"), box);
    connect(startButton, &QPushButton::clicked, this, &HostWindow::startModule);
    eventRow->addWidget(startButton);
    grid->addLayout(eventRow, 2, 0, 1, 4);

    auto* tokenRow = new QHBoxLayout;
    m_newToken = new QLineEdit(box);
    m_newToken->setPlaceholderText(QStringLiteral("token"));
    m_newRefreshToken = new QLineEdit(box);
    m_newRefreshToken->setPlaceholderText(QStringLiteral("refresh token"));
    auto* tokenButton = new QPushButton(QStringLiteral("Update tokens"), box);
    connect(tokenButton, &QPushButton::clicked, this, [this]() {
        HostCommand command;
        command.eKind = HostCommand::UpdateTokens;
        command.strFirst = m_newToken->text();
        command.strSecond = m_newRefreshToken->text();
        send(command);
    });
    tokenRow->addWidget(m_newToken);
    tokenRow->addWidget(m_newRefreshToken);
    tokenRow->addWidget(tokenButton);
    grid->addLayout(tokenRow, 3, 0, 1, 4);
    return box;
}

void HostWindow::addButton(QLayout* layout, const QString& text, HostCommand::Kind kind, int value)
{
    auto* button = new QPushButton(text, layout->parentWidget());
    connect(button, &QPushButton::clicked, this, [this, kind, value]() {
        HostCommand command;
        command.eKind = kind;
        command.nValue = value;
        send(command);
    });
    layout->addWidget(button);
}

void HostWindow::setModuleLaunch(const QString& program, const QString& launch)
{
    m_program = program;
    m_launch = launch;
}

void HostWindow::startModule()
{
    if (m_program.isEmpty()) {
        appendLog(QStringLiteral("no module to start"));
        return;
    }
    if (!m_module->start(m_program, m_launch)) {
        appendLog(QStringLiteral("cannot start %1").arg(m_program));
    }
}

void HostWindow::send(const HostCommand& command)
{
    const int count = m_endpoint->sendCommand(command);
    appendLog(count > 0
                  ? QStringLiteral("command %1 (value %2) sent").arg(int(command.eKind)).arg(command.nValue)
                  : QStringLiteral("no module connected"));
}

void HostWindow::onFrame(const CHostFrame& frame)
{
    QString text = frameLine(frame);
    const QString name = messageName(frame.m_nMsg);
    if (frame.m_eType != CHostFrame::RectRequest && !name.isEmpty()) {
        text += QStringLiteral("  [%1]").arg(name);
    }
    if (frame.m_nMsg == 2054) {
        m_unread->setText(QStringLiteral("unread: %1").arg(qint64(frame.m_nLParam)));
    } else if (frame.m_eType == CHostFrame::CopyData && frame.m_nDwData == 12) {
        // Tokens come back as the module's 8-bit bytes.
        const QString token = QString::fromLocal8Bit(frame.m_baData);
        (frame.m_nWParam == 0 ? m_token : m_refreshToken)
            ->setText(QStringLiteral("%1: %2").arg(frame.m_nWParam == 0 ? "token" : "refresh token", token));
        text += QStringLiteral("  token handed back: %1").arg(token);
    } else if (frame.m_nMsg == 2044) {
        text += QStringLiteral("  module closing");
    } else if (frame.m_nMsg == 8591) {
        text += QStringLiteral("  pushed alarm: %1").arg(QString::fromLocal8Bit(frame.m_baData));
    }
    appendLog(text);
}

void HostWindow::appendLog(const QString& text)
{
    m_log->appendPlainText(QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss.zzz  ")) + text);
}

void HostWindow::updateRect()
{
    const QRect frame = frameGeometry();
    m_endpoint->setWindowRect(RECT{frame.left(), frame.top(), frame.right() + 1, frame.bottom() + 1});
}

void HostWindow::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    m_moveTimer->start();
}

void HostWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    updateRect();
}
