#include "platform/PopupListWgt.h"

#include <QListView>
#include <QStandardItemModel>
#include <QVBoxLayout>

PopupListWgt::PopupListWgt(QWidget* parent)
    : QWidget(parent), m_pListView(new QListView(this)), m_pModel(new QStandardItemModel(this))
{
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->addWidget(m_pListView);
    m_pListView->setModel(m_pModel);
    m_pListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pListView->setStyleSheet(
        QStringLiteral("QListView{border:1px solid #d4d7e0;background:white;color:#4f5466;}"
                       "QListView::item{height:28px;padding-left:8px;}"
                       "QListView::item:selected{background:#e5ebff;color:#4f5466;}"));
    connect(m_pListView, &QListView::clicked, this, &PopupListWgt::curSelChge);
}

void PopupListWgt::SetItems(const QStringList& names)
{
    m_pModel->clear();
    for (const QString& strName : names) {
        auto* pItem = new QStandardItem(strName);
        pItem->setData(strName, Qt::UserRole);
        m_pModel->appendRow(pItem);
    }
    if (m_pModel->rowCount() > 0) {
        m_pListView->setCurrentIndex(m_pModel->index(0, 0));
    }
}

void PopupListWgt::Clear()
{
    m_pModel->clear();
}

QString PopupListWgt::CurrentText() const
{
    const QModelIndex index = m_pListView->currentIndex();
    return index.isValid() ? index.data(Qt::UserRole).toString() : QString();
}

void PopupListWgt::MoveSelection(int nStep)
{
    const int nRows = m_pModel->rowCount();
    if (nRows == 0) {
        return;
    }
    const int nRow = m_pListView->currentIndex().isValid() ? m_pListView->currentIndex().row() : 0;
    m_pListView->setCurrentIndex(m_pModel->index(std::max(0, std::min(nRows - 1, nRow + nStep)), 0));
}

void PopupListWgt::curSelChge(QModelIndex mIdx)
{
    emit chgSelItem(mIdx.data(Qt::UserRole).toString());
}
