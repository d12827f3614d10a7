// Popup list of camera names under the device filter field: a frameless
// window of its own that stays on top.
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

    // Replaces the entries (an empty list keeps the old ones); the first
    // becomes current.
    void SetItems(const QStringList& names);
    void Clear();
    // The current entry's name, or an empty text.
    QString CurrentText() const;
    // Moves the current row by nStep; past either end the selection stays.
    void MoveSelection(int nStep);
    int ItemCount() const { return m_nItemCount; }

    static constexpr int kNameRole = Qt::UserRole + 1;

signals:
    void chgSelItem(QString strSName);

public slots:
    void curSelChge(QModelIndex mIdx);

private:
    QListView* m_pListView = nullptr;
    QStandardItemModel* m_pModel = nullptr;
    int m_nItemCount = 0;
};
