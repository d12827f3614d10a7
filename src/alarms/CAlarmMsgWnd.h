// One alarm message as a row of a message list: texts, snapshot, read mark.
#pragma once

#include <QWidget>

class CAlarmMsgWnd : public QWidget
{
    Q_OBJECT
public:
    explicit CAlarmMsgWnd(QWidget* parent = nullptr);

signals:
};
