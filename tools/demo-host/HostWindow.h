// The demo host's window: the host's operations as buttons, and a log of every
// message the module sends.
#pragma once

#include "native/CHostFrame.h"

#include <QMainWindow>

class HostEndpoint;
class ModuleProcess;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;
class QTimer;

class HostWindow : public QMainWindow
{
    Q_OBJECT
public:
    HostWindow(HostEndpoint* endpoint, ModuleProcess* module, QWidget* parent = nullptr);

    void setModuleLaunch(const QString& program, const QString& launch);
    void startModule();

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* buildButtons();
    void addButton(QLayout* layout, const QString& text, HostCommand::Kind kind, int value = 0);
    void send(const HostCommand& command);
    void onFrame(const CHostFrame& frame);
    void appendLog(const QString& text);
    void updateRect();

    HostEndpoint* m_endpoint;
    ModuleProcess* m_module;
    QString m_program;
    QString m_launch;
    QLabel* m_status = nullptr;
    QLabel* m_unread = nullptr;
    QLabel* m_token = nullptr;
    QLabel* m_refreshToken = nullptr;
    QSpinBox* m_pushedId = nullptr;
    QLineEdit* m_newToken = nullptr;
    QLineEdit* m_newRefreshToken = nullptr;
    QPlainTextEdit* m_log = nullptr;
    QTimer* m_moveTimer = nullptr;
};
