// The progress of a clip being saved, in the record side's title row in place
// of "保存录像": how far along the span the file has come, and a button that
// cancels. It sits in the layout rather than over the video, whose native
// window would cover anything floated above it.
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
    explicit CClipSaveBar(QWidget* parent = nullptr);
    ~CClipSaveBar() override;

    void SetProgress(int nPercent);
    int Progress() const;

signals:
    void sigCancel();

private:
    std::unique_ptr<Ui::ClipSaveBar> ui;
};
