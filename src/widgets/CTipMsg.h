// A transient tip over the module window: an icon and a short text. It closes
// itself after three seconds or when the module is hidden, and deletes itself
// on close. Two success texts offer a button that opens the folder the file
// went to.
#pragma once

#include <QPoint>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

namespace Ui {
class TipMsg;
}

class CTipMsg : public QWidget
{
    Q_OBJECT
public:
    // nKind 0 success, 1 failure; an empty text means a refused operation.
    CTipMsg(QWidget* parent, int nKind, const QString& strText);
    ~CTipMsg() override;

    // Shows the tip with its top-left corner at that point of the parent.
    void ShowOverParent(const QPoint& ptInParent);

    // The folder the open button leads to for a tip text, read from the
    // configuration file; empty for other texts or when nothing is configured.
    static QString FolderForText(const QString& strText);

    // Replaces the desktop opener, so that tests can see what would be opened.
    // An empty function restores the desktop opener.
    using FolderOpener = std::function<bool(const QUrl&)>;
    static void SetFolderOpener(FolderOpener fnOpener);

private:
    void SetIcon(int nKind);
    void OpenSaveFolder();

    std::unique_ptr<Ui::TipMsg> ui;
};
