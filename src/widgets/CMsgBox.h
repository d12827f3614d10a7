// The module's modal message box: an icon, one line of text and one or two
// buttons. Callers run it with exec() and read accepted or rejected; it deletes
// itself when it closes.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>

#include <memory>

namespace Ui {
class MsgBox;
}

class CMsgBox : public QDialog
{
    Q_OBJECT
public:
    // nBtnMode 1 offers only OK, any other value OK and Cancel; nIconKind 0 and
    // 1 show the hint icon, 2 the error icon.
    CMsgBox(QWidget* parent, int nBtnMode, int nIconKind, const QString& strText);
    ~CMsgBox() override;

    // The style sheet of the icon for a kind; empty for a kind without one.
    static QString IconStyleForKind(int nIconKind);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private slots:
    void OnCloseBtnClicked();
    void OnOkBtnClicked();

private:
    void InitWindow();
    void ApplyButtonMode(int nBtnMode);
    void FollowModuleWindow(QWidget* pParent);
    void AddShadow();

    std::unique_ptr<Ui::MsgBox> ui;
    bool m_bDragging = false;
    QPoint m_ptPress;
};
