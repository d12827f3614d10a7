// Tip shown for a few seconds on entering full screen, telling how to leave
// it. It also passes Esc on when it has the keyboard itself.
#pragma once

#include <QWidget>

class QLabel;
class QTimer;

class CEscTipWnd : public QWidget
{
    Q_OBJECT
public:
    explicit CEscTipWnd(QWidget* parent);

public slots:
    void OnTimerOutFunc();

signals:
    void KeyEscPressedSig();

protected:
    void paintEvent(QPaintEvent* ev) override;
    void showEvent(QShowEvent* ev) override;
    void hideEvent(QHideEvent* ev) override;
    void keyPressEvent(QKeyEvent* ev) override;

private:
    void CentreOnScreen();

    // How long the tip stays up after each show.
    int m_nShowMs = 3000;

    QLabel* m_pTipLab = nullptr;
    QTimer* m_pHideTimer = nullptr;
};
