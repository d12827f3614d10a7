#include "platform/PopupListWgt.h"

#include <QListView>
#include <QStandardItemModel>
#include <QVBoxLayout>

namespace {

const char* const kPopupStyle = "QListView{font:14px;color:#4f5466;border:none;outline:none;}"
                                "QListView::item{width:217px;height:20px;background:#f5f7ff;}"
                                "QListView::item:hover{background:#e5ebff;}"
                                "QListView::item:selected{background:#6186ff;color:white;}"
                                "QScrollBar:vertical{width:6px;background:transparent;}"
                                "QScrollBar::handle:vertical{background:#cfd4e5;border-radius:3px;}"
                                "QScrollBar::add-line:vertical,QScrollBar::sub-line:vertical{height:0px;}";

} // namespace

PopupListWgt::PopupListWgt(QWidget* parent) : QWidget(parent), m_pListView(new QListView(this))
{
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->addWidget(m_pListView);
    m_pListView->setSpacing(0);
    m_pListView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pListView->setStyleSheet(QString::fromLatin1(kPopupStyle));
    connect(m_pListView, &QListView::clicked, this, &PopupListWgt::curSelChge);
}

void PopupListWgt::SetItems(const QStringList& names)
{
    if (!m_pModel) {
        m_pModel = new QStandardItemModel(this);
        m_pListView->setModel(m_pModel);
    }
    if (!names.isEmpty()) {
        m_pModel->clear();
        m_nItemCount = names.size();
    }
    for (const QString& strName : names) {
        auto* pItem = new QStandardItem(strName);
        pItem->setSizeHint(QSize(217, 20));
        if (strName.size() > 20) {
            pItem->setToolTip(strName);
        }
        pItem->setData(strName, kNameRole);
        m_pModel->appendRow(pItem);
    }
    if (m_pModel->rowCount() > 0) {
        m_pListView->setCurrentIndex(m_pModel->index(0, 0));
    }
}

void PopupListWgt::Clear()
{
    if (m_pModel) {
        m_pModel->clear();
    }
    m_nItemCount = 0;
}

QString PopupListWgt::CurrentText() const
{
    const QModelIndex index = m_pListView->currentIndex();
    return index.isValid() ? index.data(kNameRole).toString() : QString();
}

void PopupListWgt::MoveSelection(int nStep)
{
    if (!m_pModel) {
        return;
    }
    const int nRow = std::min(std::max(m_pListView->currentIndex().row() + nStep, 0), m_nItemCount);
    const QModelIndex index = m_pModel->index(nRow, 0);
    if (index.isValid()) {
        m_pListView->setCurrentIndex(index);
    }
}

void PopupListWgt::curSelChge(QModelIndex mIdx)
{
    emit chgSelItem(mIdx.data(kNameRole).toString());
}
