// Large view of an alarm picture, laid over the host window by the module
// window, which places and shows it. It tells the host when the operator
// closes it and the window when it loses activation.
#pragma once

#include "base/WinTypes.h"

#include <QDialog>
#include <QPixmap>
#include <QString>

#include <memory>

namespace Ui {
class BigPicWgt;
}

class BigPicWgt : public QDialog
{
    Q_OBJECT
public:
    explicit BigPicWgt(QWidget* parent);
    ~BigPicWgt() override;

    // Shows the picture page with pix fitted, keeping its aspect.
    void SetPicture(const QPixmap& pix);
    // The picture as it was handed over, before fitting; null on the error page.
    QPixmap Picture() const { return m_pixPicture; }
    // Shows the error page, its label styled with strStyleSheet.
    void SetErrorStyle(const QString& strStyleSheet);
    void SetOwnerWnd(HWND hWnd);

    // A dismissal by the window system goes the close button's way.
    void reject() override;

signals:
    void sigFocOut();

public slots:
    void slot_clkClsBtn();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* pWatched, QEvent* event) override;

private:
    void InitWindow();
    void FitPicture();

    std::unique_ptr<Ui::BigPicWgt> ui;
    QPixmap m_pixPicture;
    HWND m_hOwnerWnd = 0;
};
