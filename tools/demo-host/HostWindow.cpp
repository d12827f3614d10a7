#include "HostWindow.h"

#include "EmbedFocus.h"
#include "HostEndpoint.h"
#include "MessageText.h"
#include "ModuleProcess.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

namespace {

const char* const kStyle =
    "QWidget#hostHeader { background: #1f2a44; }"
    "QWidget#hostHeader QLabel { color: #ffffff; }"
    "QLabel#hostTitle { font: bold 16px; }"
    "QLabel#unreadBadge { background: #e5484d; border-radius: 9px; padding: 1px 8px; font: bold 12px; }"
    "QWidget#hostHeader QPushButton { color: #ffffff; background: #33405e; border: none; padding: 4px 12px; }"
    "QWidget#hostNav { background: #273352; }"
    "QWidget#hostNav QToolButton { color: #c9d1e6; background: transparent; border: none; padding: 10px 16px;"
    " text-align: left; font: 14px; }"
    "QWidget#hostNav QToolButton:checked { color: #ffffff; background: #3b4b75; }"
    "QLabel#remoteLoginBanner { background: #fdecea; color: #a1261b; padding: 8px 16px; font: 14px; }"
    "QLabel#moduleMissing { color: #8a90a3; font: 16px; }";

// The first two characters of a token and stars: enough to tell tokens apart.
QString masked(const QString& token)
{
    return token.isEmpty() ? QStringLiteral("-") : token.left(2) + QStringLiteral("***");
}

} // namespace

HostWindow::HostWindow(HostEndpoint* endpoint, ModuleProcess* module, QWidget* parent)
    : QMainWindow(parent), m_endpoint(endpoint), m_module(module), m_moveTimer(new QTimer(this))
{
    setWindowTitle(QStringLiteral("Demo client — %1").arg(endpoint->serverName()));
    setStyleSheet(QString::fromLatin1(kStyle));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildHeader());
    m_banner = new QLabel(central);
    m_banner->setObjectName(QStringLiteral("remoteLoginBanner"));
    m_banner->hide();
    layout->addWidget(m_banner);
    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    body->addWidget(buildNavigation());
    m_pages = new QStackedWidget(central);
    m_pages->addWidget(buildMessagesPage());
    m_pages->addWidget(buildOverviewPage());
    body->addWidget(m_pages, 1);
    layout->addLayout(body, 1);
    setCentralWidget(central);

    m_status = new QLabel(QStringLiteral("module: not connected"), this);
    m_token = new QLabel(QStringLiteral("token: -"), this);
    m_refreshToken = new QLabel(QStringLiteral("refresh token: -"), this);
    statusBar()->addWidget(m_status);
    statusBar()->addPermanentWidget(m_token);
    statusBar()->addPermanentWidget(m_refreshToken);
    resize(1480, 820);

    // A moving host window tells the module once it has come to rest.
    m_moveTimer->setSingleShot(true);
    m_moveTimer->setInterval(150);
    connect(m_moveTimer, &QTimer::timeout, this, [this]() {
        updateRect();
        emit hostEvent(QStringLiteral("HOST MOVED %1 %2").arg(x()).arg(y()));
        if (m_endpoint->clientCount() > 0) {
            HostCommand moved;
            moved.eKind = HostCommand::Moved;
            send(moved);
        }
    });

    m_embedFocus = std::make_unique<EmbedFocus>(
        [this]() { return m_container ? quint64(m_container->winId()) : 0; }, [this]() { focusModule(); });
    QCoreApplication::instance()->installNativeEventFilter(m_embedFocus.get());
    m_endpoint->setEmbedder([this](quint64 moduleWindow, quint64& holder, quint64& hostTop) {
        return embedModule(moduleWindow, holder, hostTop);
    });
    connect(m_endpoint, &HostEndpoint::clientConnected, this, [this]() {
        m_status->setText(QStringLiteral("module: connected"));
        appendLog(QStringLiteral("module connected"));
    });
    connect(m_endpoint, &HostEndpoint::clientDisconnected, this, [this]() {
        m_status->setText(QStringLiteral("module: not connected"));
        appendLog(QStringLiteral("module disconnected"));
        dropModuleWindow();
    });
    connect(m_endpoint, &HostEndpoint::frameReceived, this, &HostWindow::onFrame);
    connect(m_endpoint, &HostEndpoint::badFrame, this,
            [this](const QString& reason) { appendLog(QStringLiteral("bad frame: ") + reason); });
    connect(m_module, &ModuleProcess::started, this,
            [this](qint64 pid) { appendLog(QStringLiteral("module process %1 started").arg(pid)); });
    connect(m_module, &ModuleProcess::finished, this, [this](int code, bool crashed) {
        appendLog(crashed ? QStringLiteral("module process crashed")
                          : QStringLiteral("module process exited with code %1").arg(code));
        dropModuleWindow();
    });
}

HostWindow::~HostWindow()
{
    QCoreApplication::instance()->removeNativeEventFilter(m_embedFocus.get());
}

QWidget* HostWindow::buildHeader()
{
    m_header = new QWidget(this);
    m_header->setObjectName(QStringLiteral("hostHeader"));
    m_header->setFixedHeight(48);
    auto* row = new QHBoxLayout(m_header);
    row->setContentsMargins(16, 0, 16, 0);
    auto* title = new QLabel(QStringLiteral("Surveillance Client"), m_header);
    title->setObjectName(QStringLiteral("hostTitle"));
    row->addWidget(title);
    row->addSpacing(24);
    m_unreadBadge = new QLabel(m_header);
    m_unreadBadge->setObjectName(QStringLiteral("unreadBadge"));
    m_unreadBadge->setFixedHeight(20);
    m_unreadBadge->hide();
    row->addWidget(m_unreadBadge, 0, Qt::AlignVCenter);
    row->addStretch();
    auto* minimise = new QPushButton(QStringLiteral("Minimise"), m_header);
    connect(minimise, &QPushButton::clicked, this, &QWidget::showMinimized);
    row->addWidget(minimise);
    return m_header;
}

QWidget* HostWindow::buildNavigation()
{
    m_navigation = new QWidget(this);
    m_navigation->setObjectName(QStringLiteral("hostNav"));
    m_navigation->setFixedWidth(180);
    auto* column = new QVBoxLayout(m_navigation);
    column->setContentsMargins(0, 12, 0, 12);
    column->setSpacing(2);
    auto* group = new QButtonGroup(m_navigation);
    auto addPage = [this, column, group](const QString& text, Page page) {
        auto* button = new QToolButton(m_navigation);
        button->setText(text);
        button->setCheckable(true);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        group->addButton(button);
        column->addWidget(button);
        connect(button, &QToolButton::clicked, this, [this, page]() { showPage(page); });
        return button;
    };
    m_messagesButton = addPage(QStringLiteral("Alarms"), MessagesPage);
    m_overviewButton = addPage(QStringLiteral("Overview"), OverviewPage);
    m_messagesButton->setChecked(true);
    column->addStretch();
    return m_navigation;
}

QWidget* HostWindow::buildMessagesPage()
{
    m_moduleArea = new QWidget(this);
    auto* layout = new QVBoxLayout(m_moduleArea);
    layout->setContentsMargins(0, 0, 0, 0);
    m_moduleMissing = new QLabel(QStringLiteral("The alarm-message module is not running."), m_moduleArea);
    m_moduleMissing->setObjectName(QStringLiteral("moduleMissing"));
    m_moduleMissing->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_moduleMissing);
    return m_moduleArea;
}

QWidget* HostWindow::buildOverviewPage()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(16, 16, 16, 16);
    auto* heading = new QLabel(QStringLiteral("<h2>Overview</h2>"), page);
    layout->addWidget(heading);
    m_unread = new QLabel(QStringLiteral("Unread alarms: -"), page);
    layout->addWidget(m_unread);
    layout->addWidget(buildButtons(page));
    m_log = new QPlainTextEdit(page);
    m_log->setReadOnly(true);
    m_log->setMaximumBlockCount(5000);
    layout->addWidget(m_log, 1);
    return page;
}

QWidget* HostWindow::buildButtons(QWidget* parent)
{
    auto* box = new QGroupBox(QStringLiteral("Host operations"), parent);
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
    for (const QString& item : launch.split(QLatin1Char(';'))) {
        if (item.startsWith(QLatin1String("Token:"))) {
            m_token->setText(QStringLiteral("token: %1").arg(masked(item.mid(6))));
        } else if (item.startsWith(QLatin1String("RefreshToken:"))) {
            m_refreshToken->setText(QStringLiteral("refresh token: %1").arg(masked(item.mid(13))));
        }
    }
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

QString HostWindow::applyWindowOp(const ScriptLine& line)
{
    switch (line.windowOp) {
    case ScriptLine::Page:
        showPage(line.text == QLatin1String("overview") ? OverviewPage : MessagesPage);
        return QString();
    case ScriptLine::MinimiseHost:
        showMinimized();
        return QString();
    case ScriptLine::RestoreHost:
        showNormal();
        activateWindow();
        return QString();
    case ScriptLine::MoveHost:
        if (m_fullScreen) {
            return QStringLiteral("the module has the whole screen");
        }
        move(line.x, line.y);
        return QString();
    }
    return QStringLiteral("unknown window operation");
}

void HostWindow::showPage(Page page)
{
    (page == MessagesPage ? m_messagesButton : m_overviewButton)->setChecked(true);
    if (page == m_page) {
        return;
    }
    const bool hasModule = m_endpoint->clientCount() > 0;
    HostCommand command;
    if (page == OverviewPage) {
        // The module keeps what it shows and brings its overlays back on return.
        command.eKind = HostCommand::Hide;
        command.nValue = 1;
        if (hasModule) {
            send(command);
        }
        m_pages->setCurrentIndex(1);
    } else {
        m_pages->setCurrentIndex(0);
        command.eKind = HostCommand::Show;
        command.nValue = 0;
        if (hasModule) {
            send(command);
        }
    }
    m_page = page;
    emit hostEvent(page == MessagesPage ? QStringLiteral("HOST PAGE messages")
                                        : QStringLiteral("HOST PAGE overview"));
}

bool HostWindow::embedModule(quint64 moduleWindow, quint64& holder, quint64& hostTop)
{
    // Only X11 lets one process hold another's window.
    if (QGuiApplication::platformName() != QLatin1String("xcb") || moduleWindow == 0) {
        appendLog(QStringLiteral("the module's window cannot live in this host's window here"));
        return false;
    }
    dropModuleWindow();
    QWindow* foreign = QWindow::fromWinId(WId(moduleWindow));
    if (!foreign) {
        return false;
    }
    m_container = QWidget::createWindowContainer(foreign, m_moduleArea);
    m_container->setObjectName(QStringLiteral("moduleContainer"));
    // A native container holds the module's window itself, at its own origin;
    // it must be native before it is first shown.
    holder = m_container->winId();
    hostTop = winId();
    m_moduleWindow = moduleWindow;
    m_moduleArea->layout()->addWidget(m_container);
    m_moduleMissing->hide();
    m_container->show();
    appendLog(QStringLiteral("module window 0x%1 held in 0x%2").arg(moduleWindow, 0, 16).arg(holder, 0, 16));
    emit hostEvent(QStringLiteral("EMBEDDED %1 %2 %3").arg(moduleWindow).arg(holder).arg(hostTop));
    return true;
}

void HostWindow::focusModule()
{
    if (!m_container) {
        return;
    }
    // The host's window is active first, or the window manager would take the
    // keyboard back to it when it activates it.
    if (isActiveWindow()) {
        m_focusPending = false;
        m_embedFocus->setInputFocus(m_moduleWindow);
        return;
    }
    m_focusPending = true;
    activateWindow();
}

void HostWindow::dropModuleWindow()
{
    if (m_container) {
        delete m_container;
    }
    if (m_fullScreen) {
        setFullScreen(false);
    }
    m_moduleMissing->show();
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
    if (frame.m_eType == CHostFrame::Signal) {
        appendLog(frameLine(frame));
        onSignal(frame.m_tSignal);
        return;
    }
    QString text = frameLine(frame);
    const QString name = messageName(frame.m_nMsg);
    if (frame.m_eType != CHostFrame::RectRequest && frame.m_eType != CHostFrame::WindowRequest &&
        !name.isEmpty()) {
        text += QStringLiteral("  [%1]").arg(name);
    }
    if (frame.m_nMsg == 2054) {
        showUnread(qint64(frame.m_nLParam));
    } else if (frame.m_eType == CHostFrame::CopyData && frame.m_nDwData == 12) {
        // Tokens come back as the module's 8-bit bytes, and serve the next start.
        const QString token = QString::fromLocal8Bit(frame.m_baData);
        if (frame.m_nWParam == 0) {
            m_launch = launchWithItem(m_launch, QStringLiteral("Token"), token);
            m_token->setText(QStringLiteral("token: %1").arg(masked(token)));
        } else {
            m_launch = launchWithItem(m_launch, QStringLiteral("RefreshToken"), token);
            m_refreshToken->setText(QStringLiteral("refresh token: %1").arg(masked(token)));
        }
        text += QStringLiteral("  token handed back, kept for the next start");
    } else if (frame.m_nMsg == 2044) {
        text += QStringLiteral("  module closing");
    } else if (frame.m_nMsg == 8591) {
        text += QStringLiteral("  pushed alarm: %1").arg(QString::fromLocal8Bit(frame.m_baData));
    }
    appendLog(text);
}

void HostWindow::onSignal(const HostSignal& signal)
{
    switch (signal.eKind) {
    case HostSignal::FullScreen:
        setFullScreen(signal.nFirst != 0);
        break;
    case HostSignal::RemoteLogin:
        m_banner->setText(QStringLiteral("This account has signed in elsewhere: %1").arg(signal.strFirst));
        if (!m_fullScreen) {
            m_banner->show();
        }
        break;
    case HostSignal::UpdateTokens:
        keepTokens(signal.strFirst, signal.strSecond, QStringLiteral("renewed"));
        break;
    case HostSignal::Pong:
        break; // its line in the log is all a ping asks for
    }
}

void HostWindow::setFullScreen(bool on)
{
    if (on == m_fullScreen) {
        return;
    }
    m_fullScreen = on;
    const bool banner = !m_banner->text().isEmpty();
    if (on) {
        // The module takes the whole screen: the host's own parts step aside.
        m_normalGeometry = geometry();
        if (m_page != MessagesPage) {
            showPage(MessagesPage);
        }
        m_header->hide();
        m_navigation->hide();
        m_banner->hide();
        statusBar()->hide();
        showFullScreen();
        return;
    }
    m_header->show();
    m_navigation->show();
    m_banner->setVisible(banner);
    statusBar()->show();
    showNormal();
    if (m_normalGeometry.isValid()) {
        setGeometry(m_normalGeometry);
    }
}

void HostWindow::keepTokens(const QString& token, const QString& refreshToken, const QString& how)
{
    if (token.isEmpty() || refreshToken.isEmpty()) {
        return;
    }
    m_launch = launchWithItem(m_launch, QStringLiteral("Token"), token);
    m_launch = launchWithItem(m_launch, QStringLiteral("RefreshToken"), refreshToken);
    m_token->setText(QStringLiteral("token: %1").arg(masked(token)));
    m_refreshToken->setText(QStringLiteral("refresh token: %1").arg(masked(refreshToken)));
    appendLog(QStringLiteral("tokens %1, kept for the next start").arg(how));
}

void HostWindow::showUnread(qint64 count)
{
    m_unread->setText(QStringLiteral("Unread alarms: %1").arg(count));
    m_unreadBadge->setText(QStringLiteral("%1 unread").arg(count));
    m_unreadBadge->setVisible(count > 0);
    m_messagesButton->setText(count > 0 ? QStringLiteral("Alarms (%1)").arg(count)
                                        : QStringLiteral("Alarms"));
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

void HostWindow::tellMinimised(bool minimised)
{
    HostCommand command;
    command.eKind = HostCommand::Minimise;
    command.nValue = minimised ? 1 : 0;
    if (m_endpoint->clientCount() > 0) {
        send(command);
    }
    emit hostEvent(minimised ? QStringLiteral("HOST MINIMISED") : QStringLiteral("HOST RESTORED"));
    if (!minimised) {
        // A window manager may bring the window back from elsewhere on the
        // screen; the overlays are placed again once it rests.
        m_moveTimer->start();
    }
}

bool HostWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (m_restorePending && watched == windowHandle() && event->type() == QEvent::Expose &&
        windowHandle()->isExposed()) {
        m_restorePending = false;
        tellMinimised(false);
    }
    return QMainWindow::eventFilter(watched, event);
}

void HostWindow::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    // Taking the whole screen is not a move of the host; coming back from it is.
    if (!m_fullScreen) {
        m_moveTimer->start();
    }
}

void HostWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    updateRect();
}

void HostWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && m_focusPending && isActiveWindow()) {
        focusModule();
    }
    if (event->type() != QEvent::WindowStateChange) {
        return;
    }
    const bool minimised = isMinimized();
    if (minimised && !m_minimised) {
        m_minimised = true;
        m_restorePending = false;
        tellMinimised(true);
    } else if (!minimised && m_minimised) {
        // The module hears of it once the window manager has brought the window
        // back: windows it shows earlier would count as part of a minimised host.
        m_minimised = false;
        m_restorePending = true;
        windowHandle()->installEventFilter(this);
        if (windowHandle()->isExposed()) {
            m_restorePending = false;
            tellMinimised(false);
        }
    }
    const bool fullScreen = windowState() & Qt::WindowFullScreen;
    if (fullScreen != m_fullScreenShown) {
        m_fullScreenShown = fullScreen;
        emit hostEvent(QStringLiteral("HOST FULLSCREEN %1").arg(fullScreen ? 1 : 0));
    }
}
