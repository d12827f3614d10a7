#include "alarms/CListCtrl.h"

#include "alarms/AlarmShared.h"
#include "alarms/CAlarmMsgWnd.h"
#include "alarms/CPicLoad.h"
#include "base/LaunchValues.h"
#include "base/ModuleLog.h"
#include "platform/CPlatformRequest.h"
#include "platform/CSafeJson.h"
#include "widgets/CMsgBox.h"

#include <QElapsedTimer>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QNetworkReply>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <memory>

#include <json/json.h>

namespace {

// The selected-item rule is commented out; the brace that used to close it
// after the comment made the whole sheet unreadable, so it is gone.
const char* const kListStyle =
    "\tQListWidget{\t\tshow-decoration-selected: 1;\t\tborder-image:none;\t\tborder:none;\t}"
    "\tQListView::item{\t\twidth:235px;\t\theight:100px;\t\tborder:none;\t\tborder-image:"
    "none;\t}\tQListView::item:hover{\t\tbackground-color:#e5ebff; \t\tcolor:#ffffff;\t}"
    "\t/*QListView::item:selected{\t\tbackground-color:#6186ff;\t\tcolor:#ffffff;*/\t"
    // Keys work on the list: a frame of the accent colour shows where they go,
    // instead of the style's dotted one around an item.
    "QListWidget{border:1px solid transparent;border-radius:4px;outline:none;}"
    "QListWidget:focus{border:1px solid #6186ff;}";

// 6 px, a #cfd4e5 handle of at least 80 px, no arrows, nothing under it.
const char* const kScrollBarStyle =
    "QScrollBar:vertical{width:6px;margin:0px;border:none;background:transparent;}"
    "QScrollBar::handle:vertical{min-height:80px;border-radius:3px;background:#cfd4e5;}"
    "QScrollBar::add-line:vertical,QScrollBar::sub-line:vertical{height:0px;border:none;background:none;}"
    "QScrollBar::add-page:vertical,QScrollBar::sub-page:vertical{background:transparent;}";

// An item's content box holds the icon column before its text; room is kept
// after the longest text.
constexpr int kMenuIconColumn = 28;
constexpr int kMenuTextRight = 20;

const char* const kMenuStyle = "\t\tQMenu{\t\t\tbackground-color:white;\t\t\tborder:none;}\t\tQMenu::item{"
                               "\t\t\theight:36px;\t\t\twidth:120px;"
                               "\t\t\tcolor:#4f5466;\t\t\tfont:14px Microsoft "
                               "Yahei;\t\t\tpadding-left:52px;\t\t\tbackground-color:white;}"
                               "\t\tQMenu::item:selected{\t\t\tbackground-color:#e5ebff;}\t\tQMenu::icon{"
                               "\t\t\twidth:16px;\t\t\theight:16px;"
                               "\t\t\tleft:20px;}\t\t";

} // namespace

CListCtrl::CListCtrl(QWidget* parent) : QListWidget(parent)
{
    // The rows' look is carried here, parsed once for every row of every page.
    setStyleSheet(QString::fromUtf8(kListStyle) + CAlarmMsgWnd::RowStyleSheet());
    verticalScrollBar()->setStyleSheet(QString::fromUtf8(kScrollBarStyle));
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &CListCtrl::InterUpdateListSignal, this, &CListCtrl::OnInterUpdateListSlot,
            Qt::QueuedConnection);
    connect(this, &QListWidget::pressed, this, &CListCtrl::OnItemPressed);
    connect(&m_networkManager, &QNetworkAccessManager::finished, this, &CListCtrl::serviceRequestFinished);
}

CListCtrl::~CListCtrl()
{
    // Rows waiting to go in have no item yet, so nothing else owns them.
    qDeleteAll(m_vecPendingRows);
}

// ---------------------------------------------------------------- updating

void CListCtrl::UpdateListCtrl(std::vector<CAlarmMsgWnd*> rows, int nMsgId)
{
    if (!BeginUpdate(nMsgId)) {
        qDeleteAll(rows);
        return;
    }
    m_vecPendingRows = std::move(rows);
    emit InterUpdateListSignal();
}

void CListCtrl::UpdateListRecords(std::vector<ALARM_INFO_STRUCT> records, RowFactory fnMakeRow, int nMsgId)
{
    if (!BeginUpdate(nMsgId)) {
        return;
    }
    // The pictures are on their way before the first row is made; each row
    // takes its picture's load over when it is made.
    CPicLoad::Park(CAlarmMsgWnd::PicRequestsOf(records), this);
    m_vecPendingRecords = std::move(records);
    m_nNextRecord = 0;
    m_fnMakeRow = std::move(fnMakeRow);
    emit InterUpdateListSignal();
}

bool CListCtrl::BeginUpdate(int nMsgId)
{
    MC_LOG(3, "CListCtrl::BeginUpdate", "<%d>\t<%s>,msgId:%d busy:%d", nMsgId, m_bBusy ? 1 : 0);
    if (m_bBusy) {
        return false;
    }
    m_bBusy = true;
    m_pCurRow = nullptr;
    m_nRecPushMsgId = nMsgId;
    m_nPushMsgId = -1;
    return true;
}

void CListCtrl::RemoveAllItems()
{
    // All at once: taken one by one, each item moved the current index and
    // laid out the rest of the list again.
    std::vector<QWidget*> rows;
    for (int i = 0; i < count(); ++i) {
        rows.push_back(itemWidget(item(i)));
    }
    clear();
    qDeleteAll(rows); // now rather than when the view would let them go
    m_vecShownRows.clear();
    m_vecPageItems.clear();
}

void CListCtrl::OnInterUpdateListSlot()
{
    // The old rows go before the new ones come in, on this (the GUI) thread,
    // once the new page's pictures are on their way. The list is painted
    // once the page is in, not after every few rows.
    setUpdatesEnabled(false);
    RemoveAllItems();
    m_nPushMsgId = m_nRecPushMsgId;
    m_bAllChecked = true;
    m_nPushedIndex = -1;
    // The page's items first, while no row is in: a row put in later then
    // costs one placement, where adding its item beside rows already in
    // placed all of them again.
    const size_t nRows = m_vecPendingRows.size() + m_vecPendingRecords.size();
    m_vecPageItems.clear();
    for (size_t i = 0; i < nRows; ++i) {
        auto* pItem = new QListWidgetItem(this);
        pItem->setSizeHint(QSize(235, 100));
        m_vecPageItems.push_back(pItem);
    }
    m_nNextItem = 0;
    InsertNextRows();
}

void CListCtrl::InsertNextRows()
{
    // A few rows per turn of the event loop, so that a page going in never
    // holds the window up; the list counts as busy until the last is in.
    size_t nTaken = 0;
    for (; nTaken < m_vecPendingRows.size() && nTaken < kRowsPerTurn; ++nTaken) {
        InsertRow(m_vecPendingRows[nTaken]);
    }
    m_vecPendingRows.erase(m_vecPendingRows.begin(),
                           m_vecPendingRows.begin() + static_cast<std::ptrdiff_t>(nTaken));
    for (; nTaken < kRowsPerTurn && m_nNextRecord < m_vecPendingRecords.size(); ++nTaken) {
        InsertRow(m_fnMakeRow(m_vecPendingRecords[m_nNextRecord++], viewport()));
    }
    if (!m_vecPendingRows.empty() || m_nNextRecord < m_vecPendingRecords.size()) {
        QTimer::singleShot(0, this, &CListCtrl::InsertNextRows);
        return;
    }
    m_vecPendingRecords.clear();
    m_fnMakeRow = nullptr;
    CPicLoad::DropParked(this);
    m_vecPageItems.clear();
    setUpdatesEnabled(true);
    m_bBusy = false;
    scrollToTop();
    if (m_nPushedIndex >= 0) {
        PressWhenPictureIsIn(m_vecShownRows[static_cast<size_t>(m_nPushedIndex)], m_nPushedIndex);
    }
    emit sigListIsSetAllChecked(m_bAllChecked ? 1 : 0);
}

void CListCtrl::InsertRow(CAlarmMsgWnd* pRow)
{
    pRow->SetCheckBoxVisible(m_bDeletionMode);
    if (DeleteIdList().contains(pRow->GetMsgId())) {
        pRow->SetChecked(true);
    }
    QListWidgetItem* pItem = m_vecPageItems[m_nNextItem++];
    setItemWidget(pItem, pRow);
    m_vecShownRows.push_back(pRow);
    if (m_nPushMsgId > 0 && m_nPushMsgId == pRow->GetMsgId()) {
        setCurrentItem(pItem);
        m_nPushedIndex = row(pItem);
        m_nPushMsgId = -1;
    }
    if (!pRow->IsChecked()) {
        m_bAllChecked = false;
    }
}

void CListCtrl::PressWhenPictureIsIn(CAlarmMsgWnd* pRow, int nIndex)
{
    // The pushed message opens with its picture; a picture that never comes
    // must not keep it closed, so the wait is bounded.
    QPointer<CAlarmMsgWnd> pGuard(pRow);
    auto* pPoll = new QTimer(this);
    auto elapsed = std::make_shared<QElapsedTimer>();
    elapsed->start();
    connect(pPoll, &QTimer::timeout, this, [this, pGuard, nIndex, pPoll, elapsed] {
        if (!pGuard || RowAt(nIndex) != pGuard) {
            pPoll->deleteLater();
            return;
        }
        if (!pGuard->IsPicReqFinished() && elapsed->elapsed() < kPushedRowWaitMs) {
            return;
        }
        pPoll->deleteLater();
        emit pressed(model()->index(nIndex, 0));
    });
    pPoll->start(50);
}

// ---------------------------------------------------------------- rows

CAlarmMsgWnd* CListCtrl::RowAt(int nIndex) const
{
    QListWidgetItem* pItem = item(nIndex);
    return pItem ? qobject_cast<CAlarmMsgWnd*>(itemWidget(pItem)) : nullptr;
}

CAlarmMsgWnd* CListCtrl::CurrentRow() const
{
    return m_pCurRow.data();
}

QListWidgetItem* CListCtrl::ItemOf(const CAlarmMsgWnd* pRow) const
{
    for (int i = 0; pRow && i < count(); ++i) {
        if (itemWidget(item(i)) == pRow) {
            return item(i);
        }
    }
    return nullptr;
}

CAlarmMsgWnd* CListCtrl::PressedRow() const
{
    CAlarmMsgWnd* pRow = m_pPressedRow.data();
    return std::find(m_vecShownRows.begin(), m_vecShownRows.end(), pRow) != m_vecShownRows.end() ? pRow
                                                                                                 : nullptr;
}

void CListCtrl::MarkAllRowsRead()
{
    for (CAlarmMsgWnd* pRow : m_vecShownRows) {
        pRow->SetRead();
    }
}

void CListCtrl::SetCheckBoxesVisible(bool bVisible)
{
    m_bDeletionMode = bVisible;
    for (CAlarmMsgWnd* pRow : m_vecShownRows) {
        pRow->SetCheckBoxVisible(bVisible);
    }
}

void CListCtrl::SetAllChecked(bool bChecked)
{
    for (CAlarmMsgWnd* pRow : m_vecShownRows) {
        pRow->SetChecked(bChecked);
    }
}

bool CListCtrl::AllChecked() const
{
    return std::all_of(m_vecShownRows.begin(), m_vecShownRows.end(),
                       [](const CAlarmMsgWnd* pRow) { return pRow->IsChecked(); });
}

void CListCtrl::OnItemPressed(const QModelIndex& index)
{
    CAlarmMsgWnd* pRow = RowAt(index.row());
    m_pPressedRow = pRow;
    if (!pRow || pRow == m_pCurRow) {
        return;
    }
    int nType = 1;
    if (!pRow->IsRead()) {
        pRow->SetRead();
        HttpSetMsgRead(pRow->GetMsgId());
        nType = 0;
    }
    const QPointer<CAlarmMsgWnd> pGuard(pRow);
    emit sigItemPressed(pRow, nType);
    if (!pGuard) {
        return; // a new page replaced the row while the press was handled
    }
    if (m_pCurRow) {
        m_pCurRow->SetWndSelected(false);
        m_pCurRow->setStyleSheet(QStringLiteral("background-color:transparent;"));
    }
    m_pCurRow = pRow;
    m_pCurRow->SetWndSelected(true);
    m_pCurRow->setStyleSheet(QStringLiteral("background-color:#6186FF;"));
}

// ---------------------------------------------------------------- context menu

void CListCtrl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::RightButton) {
        QListWidget::mousePressEvent(event);
        return;
    }
    QListWidgetItem* pItem = itemAt(event->pos());
    CAlarmMsgWnd* pRow = pItem ? qobject_cast<CAlarmMsgWnd*>(itemWidget(pItem)) : nullptr;
    if (!pRow || m_bDeletionMode) {
        return; // empty space, or deletion mode: swallowed
    }
    setCurrentItem(pItem);
    const QPointer<CAlarmMsgWnd> pGuard(pRow);
    emit pressed(indexFromItem(pItem));
    if (!pGuard) {
        return; // the page changed while the press was handled
    }
    m_pMenuRow = pGuard;
    OpenContextMenu(event->globalPos());
}

void CListCtrl::OpenContextMenu(const QPoint& ptGlobal)
{
    auto* pMenu = new QMenu(this);
    pMenu->setAttribute(Qt::WA_DeleteOnClose);
    pMenu->setStyleSheet(QString::fromUtf8(kMenuStyle));
    pMenu->addAction(QIcon(QStringLiteral(":/Skin/main/icon_delete_default.png")), QStringLiteral("删除"),
                     this, &CListCtrl::DeleteMenuItemRow);
    pMenu->addAction(QIcon(QStringLiteral(":/Skin/main/icon_batch_delete_default.png")),
                     QStringLiteral("批量删除"), this, &CListCtrl::EnterDeletionMode);
    pMenu->addAction(QIcon(QStringLiteral(":/Skin/main/icon_read_default.png")),
                     QStringLiteral("全部标记为已读"), this, &CListCtrl::SetAllReadFromMenu);
    pMenu->addAction(QIcon(QStringLiteral(":/Skin/main/icon_filtrate_default.png")), QStringLiteral("筛选"),
                     this, &CListCtrl::sigListFilterClick);
    pMenu->addAction(QIcon(QStringLiteral(":/Skin/main/icon_save_default.png")), QStringLiteral("保存图片"),
                     this, &CListCtrl::SaveMenuItemSnap);
    // The sheet's item width leaves "全部标记为已读" no room once the icon
    // column is taken off (it is cut with wider fonts): the items grow to it.
    QFont font(QStringLiteral("Microsoft Yahei"));
    font.setPixelSize(14);
    const int nText = QFontMetrics(font).horizontalAdvance(QStringLiteral("全部标记为已读"));
    pMenu->setStyleSheet(
        pMenu->styleSheet() +
        QStringLiteral("QMenu::item{width:%1px;}").arg(kMenuIconColumn + nText + kMenuTextRight));
    m_pMenu = pMenu;
    pMenu->popup(ptGlobal);
}

void CListCtrl::DeleteMenuItemRow()
{
    if (m_pMenu) {
        m_pMenu->close();
    }
    AskToDeleteRow(m_pMenuRow.data());
    m_pMenuRow = nullptr;
}

void CListCtrl::SaveMenuItemSnap()
{
    if (m_pMenu) {
        m_pMenu->close();
    }
    if (CAlarmMsgWnd* pRow = m_pMenuRow.data()) {
        emit sigListSaveSnap(pRow);
    }
    m_pMenuRow = nullptr;
}

bool CListCtrl::AskToDeleteRow(CAlarmMsgWnd* pRow)
{
    if (!pRow) {
        return false;
    }
    const QPointer<CAlarmMsgWnd> pGuard(pRow);
    auto* pBox = new CMsgBox(window(), 0, 0, QStringLiteral("确定删除该消息吗？"));
    const bool bConfirmed = pBox->exec() == QDialog::Accepted;
    // The box ran its own event loop: the row may have gone with a new page.
    if (!bConfirmed || !ItemOf(pGuard.data())) {
        return false;
    }
    RemoveRowAndOpenNext(pGuard.data());
    return true;
}

void CListCtrl::RemoveRowAndOpenNext(CAlarmMsgWnd* pRow)
{
    QListWidgetItem* pItem = ItemOf(pRow);
    const int nIndex = row(pItem);
    // The operator stays where they were in the list.
    const int nScroll = verticalScrollBar()->value();
    HttpDeleteMsg(pRow->GetMsgId());
    m_vecShownRows.erase(std::remove(m_vecShownRows.begin(), m_vecShownRows.end(), pRow),
                         m_vecShownRows.end());
    removeItemWidget(pItem);
    delete pItem;
    delete pRow;
    if (count() == 0) {
        return;
    }
    QListWidgetItem* pNext = item(std::min(nIndex, count() - 1));
    setCurrentItem(pNext);
    verticalScrollBar()->setValue(nScroll);
    OnItemPressed(indexFromItem(pNext));
}

void CListCtrl::ClearCurrentRow()
{
    if (m_pCurRow) {
        m_pCurRow->SetWndSelected(false);
        m_pCurRow->setStyleSheet(QStringLiteral("background-color:transparent;"));
    }
    m_pCurRow = nullptr;
    m_pPressedRow = nullptr;
}

// ---------------------------------------------------------------- keys

void CListCtrl::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        event->ignore();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Up:
        MoveSelection(-1);
        break;
    case Qt::Key_Down:
        MoveSelection(1);
        break;
    case Qt::Key_PageUp:
        emit sigListPageKey(-1);
        break;
    case Qt::Key_PageDown:
        emit sigListPageKey(1);
        break;
    case Qt::Key_Home:
        emit sigListPageKey(0);
        break;
    case Qt::Key_End:
        emit sigListPageKey(2);
        break;
    case Qt::Key_Delete:
        if (m_bDeletionMode) {
            emit sigListDeleteKey();
        } else {
            AskToDeleteRow(m_pCurRow.data());
        }
        break;
    default:
        // Not the view's own handling (Space would select, letters search):
        // playback keys and the rest go on to the window.
        event->ignore();
        return;
    }
    event->accept();
}

void CListCtrl::MoveSelection(int nStep)
{
    if (count() == 0) {
        return;
    }
    const int nCurrent = m_pCurRow ? row(ItemOf(m_pCurRow.data())) : -1;
    const int nTarget = nCurrent < 0 ? 0 : nCurrent + nStep;
    if (nTarget < 0 || nTarget >= count() || nTarget == nCurrent) {
        return;
    }
    QListWidgetItem* pItem = item(nTarget);
    setCurrentItem(pItem);
    scrollToItem(pItem);
    // The same road as a press: read request, detail side, selection.
    OnItemPressed(indexFromItem(pItem));
}

void CListCtrl::EnterDeletionMode()
{
    if (m_pMenu) {
        m_pMenu->close();
    }
    DeleteIdList().clear();
    SetCheckBoxesVisible(true);
    emit sigListDeleteByQueue();
}

void CListCtrl::SetAllReadFromMenu()
{
    MarkAllRowsRead();
    HttpSetAllMsgRead();
    if (m_pMenu) {
        m_pMenu->close();
    }
    emit sigListSetAllRead();
}

// ---------------------------------------------------------------- requests

void CListCtrl::PostListRequest(const char* szPath, const QString& strTag, const std::string& strBody)
{
    const std::string strServerUrl = LaunchValues::snapshot().ServerUrl;
    if (strServerUrl.empty()) {
        return;
    }
    const QNetworkRequest request = CPlatformRequest::Build(strServerUrl + szPath, strTag,
                                                            CPlatformRequest::JsonBody, true, QSsl::TlsV1_2);
    CPlatformRequest::Post(m_networkManager, request, strBody);
}

void CListCtrl::HttpSetMsgRead(int nMsgId)
{
    Json::Value body;
    body["id"] = nMsgId;
    PostListRequest("/api/msg/update/read", QStringLiteral("SetMsgRead"), CPlatformRequest::WriteJson(body));
}

void CListCtrl::HttpSetAllMsgRead()
{
    PostListRequest("/api/msg/update/read/all", QStringLiteral("SetAllMsgRead"), std::string());
}

void CListCtrl::HttpDeleteMsg(int nMsgId)
{
    Json::Value body;
    body["id"] = nMsgId;
    PostListRequest("/api/msg/delete", QStringLiteral("DeleteMsg"), CPlatformRequest::WriteJson(body));
}

bool CListCtrl::IsDeleteConfirmed(QNetworkReply* reply)
{
    if (reply->error() != QNetworkReply::NoError) {
        return false;
    }
    // The envelope's "code" is "200" once the platform has deleted the message.
    Json::Value root;
    std::string strCode;
    return CSafeJson::ParseObject(CPlatformRequest::ReadBody(reply), root) &&
           CSafeJson::ToText(CSafeJson::Member(root, "code"), strCode) && strCode == "200";
}

void CListCtrl::serviceRequestFinished(QNetworkReply* reply)
{
    if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 401 &&
        reply->error() != QNetworkReply::NoError) {
        MC_LOG(5, "CListCtrl::serviceRequestFinished", "<%d>\t<%s>,login fail:%s",
               reply->errorString().toLocal8Bit().constData());
    }
    if (CPlatformRequest::TagOf(reply) == QLatin1String("DeleteMsg")) {
        emit sigListMsgDeleted(IsDeleteConfirmed(reply));
    }
    reply->abort();
    reply->deleteLater();
}
