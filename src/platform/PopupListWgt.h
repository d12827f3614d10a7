// Popup list of camera names under the device filter field.
#pragma once

#include <QModelIndex>
#include <QStringList>
#include <QWidget>

class QListView;
class QStandardItemModel;

class PopupListWgt : public QWidget
{
    Q_OBJECT
public:
    explicit PopupListWgt(QWidget* parent);

    // Replaces the entries; the first becomes current.
    void SetItems(const QStringList& names);
    void Clear();
    // The current entry's name, or an empty text.
    QString CurrentText() const;
    // Moves the current row by nStep, staying inside the list.
    void MoveSelection(int nStep);

signals:
    void chgSelItem(QString strSName);

public slots:
    void curSelChge(QModelIndex mIdx);

private:
    QListView* m_pListView = nullptr;
    QStandardItemModel* m_pModel = nullptr;
};
