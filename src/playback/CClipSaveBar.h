// The progress of a clip being saved, floated over the bottom of the module
// window: how far along the span the file has come, and a button that cancels.
#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class ClipSaveBar;
}

class CClipSaveBar : public QWidget
{
    Q_OBJECT
public:
    explicit CClipSaveBar(QWidget* parent);
    ~CClipSaveBar() override;

    void SetProgress(int nPercent);
    int Progress() const;
    // Bottom centre of the parent, above everything else in it.
    void PlaceInParent();

signals:
    void sigCancel();

private:
    std::unique_ptr<Ui::ClipSaveBar> ui;
};
