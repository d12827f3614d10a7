// Large view of an alarm picture over the host window.
#pragma once

#include <QWidget>

class BigPicWgt : public QWidget
{
    Q_OBJECT
public:
    explicit BigPicWgt(QWidget* parent);

signals:
    void sigFocOut();
};
