// Calendar picker for the filter's time span.
#pragma once

#include <QWidget>

class CusCalendarWnd : public QWidget
{
    Q_OBJECT
public:
    explicit CusCalendarWnd(QWidget* parent);

signals:
    void sigCalendarSet(QString str);
};
