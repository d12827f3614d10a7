// Popup list of camera names matching the typed device filter.
#pragma once

#include <QWidget>

class PopupListWgt : public QWidget
{
    Q_OBJECT
public:
    explicit PopupListWgt(QWidget* parent = nullptr);

signals:
    void chgSelItem(QString strSName);
};
