// Placeholder of the recording area: play button, loading animation and texts.
#pragma once

#include <QWidget>

class ButLblWgt : public QWidget
{
    Q_OBJECT
public:
    explicit ButLblWgt(QWidget* parent = nullptr);

signals:
    void sigButClked();
};
