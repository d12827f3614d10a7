// The demo host's window: a client application's main window with its own
// header and navigation, a page that holds the module's window and an overview
// page with the host's operations and a log of what the module sends.
#pragma once

#include "HostScript.h"
#include "native/CHostFrame.h"

#include <QMainWindow>

#include <QPointer>
#include <QRect>
#include <memory>

class EmbedFocus;
class HostEndpoint;
class ModuleProcess;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;
class QStackedWidget;
class QTimer;
class QToolButton;

class HostWindow : public QMainWindow
{
    Q_OBJECT
public:
    HostWindow(HostEndpoint* endpoint, ModuleProcess* module, QWidget* parent = nullptr);
    ~HostWindow() override;

    void setModuleLaunch(const QString& program, const QString& launch);
    void startModule();

    // The operations on the host's own window that its console offers; an
    // error text, or nothing when done.
    QString applyWindowOp(const ScriptLine& line);

signals:
    // What the host itself did, as a console line ("HOST PAGE overview", ...).
    void hostEvent(const QString& line);

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum Page
    {
        MessagesPage,
        OverviewPage
    };

    QWidget* buildHeader();
    QWidget* buildNavigation();
    QWidget* buildMessagesPage();
    QWidget* buildOverviewPage();
    QWidget* buildButtons(QWidget* parent);
    void addButton(QLayout* layout, const QString& text, HostCommand::Kind kind, int value = 0);
    void showPage(Page page);
    bool embedModule(quint64 moduleWindow, quint64& holder, quint64& hostTop);
    void focusModule();
    void dropModuleWindow();
    void send(const HostCommand& command);
    void onFrame(const CHostFrame& frame);
    void onSignal(const HostSignal& signal);
    void setFullScreen(bool on);
    void keepTokens(const QString& token, const QString& refreshToken, const QString& how);
    void showUnread(qint64 count);
    void tellMinimised(bool minimised);
    void appendLog(const QString& text);
    void updateRect();

    HostEndpoint* m_endpoint;
    ModuleProcess* m_module;
    QString m_program;
    QString m_launch;

    QWidget* m_header = nullptr;
    QWidget* m_navigation = nullptr;
    QLabel* m_banner = nullptr;
    QLabel* m_unreadBadge = nullptr;
    QToolButton* m_messagesButton = nullptr;
    QToolButton* m_overviewButton = nullptr;
    QStackedWidget* m_pages = nullptr;
    QWidget* m_moduleArea = nullptr;
    QLabel* m_moduleMissing = nullptr;
    QPointer<QWidget> m_container; // wraps the module's window
    quint64 m_moduleWindow = 0;
    std::unique_ptr<EmbedFocus> m_embedFocus;
    bool m_focusPending = false; // the module asked for the keyboard while the host was not active
    Page m_page = MessagesPage;

    QLabel* m_status = nullptr;
    QLabel* m_unread = nullptr;
    QLabel* m_token = nullptr;
    QLabel* m_refreshToken = nullptr;
    QSpinBox* m_pushedId = nullptr;
    QLineEdit* m_newToken = nullptr;
    QLineEdit* m_newRefreshToken = nullptr;
    QPlainTextEdit* m_log = nullptr;
    QTimer* m_moveTimer = nullptr;

    QRect m_normalGeometry; // before the module took the whole screen
    bool m_minimised = false;
    bool m_restorePending = false;  // restored, not yet back on the screen
    bool m_fullScreen = false;      // the module asked for the whole screen
    bool m_fullScreenShown = false; // the window manager has given it
};
