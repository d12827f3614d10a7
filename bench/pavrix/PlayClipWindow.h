// A window with a record area whose native id is handed to the library, and a
// status line with the on-screen time and the last message.
#pragma once

#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <string>

class PlayClipWindow : public QWidget
{
    Q_OBJECT
public:
    explicit PlayClipWindow(QWidget* parent = nullptr);

    void* playWindow() const;
    void follow(const std::string& sessionId);

public slots:
    void showMessage(unsigned int type, unsigned int code);

private:
    void refreshTime();

    QWidget* m_area;
    QLabel* m_status;
    QTimer m_timer;
    std::string m_sessionId;
    QString m_lastMessage;
};
