// What the record area shows before and around a playback: the round play
// button, or the loading animation with its text while a clip is fetched.
#pragma once

#include <QWidget>

#include <memory>

class QMovie;
namespace Ui {
class ButLblWgt;
}

class ButLblWgt : public QWidget
{
    Q_OBJECT
public:
    explicit ButLblWgt(QWidget* parent = nullptr);
    ~ButLblWgt() override;

    // Shows the widget with the play button (on) or the animation label (off).
    void ShowPlayButton(bool bOn);
    // Shows the widget with the animation label (on) or the play button (off).
    void ShowAnimLabel(bool bOn);
    bool IsAnimLabelVisible() const;
    // Runs or stops the loading animation and its text.
    void SetLoading(bool bOn);

signals:
    void sigButClked();

private:
    std::unique_ptr<Ui::ButLblWgt> ui;
    QMovie* m_pMovie = nullptr;
};
