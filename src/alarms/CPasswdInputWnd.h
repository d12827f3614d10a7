// The dialog that asks the operator for a camera's verification code. Callers
// run it with exec(), read InputText() when it was accepted and delete it.
// While it is up the host is told (it may cover other windows of its own), and
// it follows the module window: hidden and shown with it, kept centred over
// its parent.
#pragma once

#include "base/WinTypes.h"

#include <QDialog>
#include <QString>

#include <memory>

class QLabel;
class QTimer;

namespace Ui {
class PasswdInputWnd;
}

class CPasswdInputWnd : public QDialog
{
    Q_OBJECT
public:
    // pModuleWnd: the module window whose hide, show, move and resize the
    // dialog follows; may be null.
    CPasswdInputWnd(QWidget* parent, QWidget* pModuleWnd);
    ~CPasswdInputWnd() override;

    void SetPromptText(const QString& strText);
    void SetErrLabVisible(bool bVisible);
    void SetOwnerWnd(HWND hWnd);
    QString InputText() const;

    // The short "wrong code" tip over the dialog; it hides itself again.
    void ShowErrTip();

    // Every way of dismissing the dialog (Esc, a window close) tells the host.
    void accept() override;
    void reject() override;

public slots:
    void OnCloseBtnClicked();
    void OnOkBtnClicked();
    void OnCancelBtnClicked();
    void OnLineEditFunc(const QString& str);
    void OnHideSlot();
    void OnShowSlot();
    void OnHideErrLabSlot();
    void OnPosChangedSlot();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void InitWindow();
    void InitErrTip();
    void AddShadow();
    void FollowModuleWindow(QWidget* pModuleWnd);
    void NotifyOwner(LPARAM nState);
    void Finish(int nResult);

    std::unique_ptr<Ui::PasswdInputWnd> ui;
    QLabel* m_pErrTipLbl = nullptr;
    QTimer* m_pErrTipTimer = nullptr;
    HWND m_hOwnerWnd = 0;
    bool m_bHiddenByModule = false;
    bool m_bOwnerToldShown = false;
};
