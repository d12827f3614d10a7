// Tip shown over full-screen playback, telling how to leave it.
#pragma once

#include <QWidget>

class CEscTipWnd : public QWidget
{
    Q_OBJECT
public:
    explicit CEscTipWnd(QWidget* parent);

signals:
    void KeyEscPressedSig();
};
