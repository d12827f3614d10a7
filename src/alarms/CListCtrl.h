// One page of alarm messages as a scrolling list of rows.
#pragma once

#include <QListWidget>

class CAlarmMsgWnd;

class CListCtrl : public QListWidget
{
    Q_OBJECT
public:
    explicit CListCtrl(QWidget* parent);

signals:
    void InterUpdateListSignal();
    void sigItemPressed(CAlarmMsgWnd* msgWnd, int type);
    void sigListFilterClick();
    void sigListDeleteByQueue();
    void sigListSetAllRead();
    void sigListIsSetAllChecked(int nAllChecked);
};
