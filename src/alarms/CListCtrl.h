// One page of alarm messages as a scrolling list of rows. The window holds
// three: all messages, unread messages and the search result.
#pragma once

#include "base/AlarmTypes.h"

#include <QListWidget>
#include <QNetworkAccessManager>
#include <QPointer>

#include <functional>
#include <vector>

class CAlarmMsgWnd;
class QMenu;
class QNetworkReply;

class CListCtrl : public QListWidget
{
    Q_OBJECT
public:
    explicit CListCtrl(QWidget* parent);
    ~CListCtrl() override;

    // Replaces the content with rows (the list takes them over); nMsgId is a
    // pushed message to select once its picture is in, or -1. An update that
    // arrives while one is being put in is dropped and its rows deleted.
    void UpdateListCtrl(std::vector<CAlarmMsgWnd*> rows, int nMsgId);

    // The same from records: each row is made by fnMakeRow just before it goes
    // in, so a page never holds the window up while all its rows are built.
    // The row is made inside pParent (the list's viewport), where it stays.
    using RowFactory = std::function<CAlarmMsgWnd*(const ALARM_INFO_STRUCT&, QWidget* pParent)>;
    void UpdateListRecords(std::vector<ALARM_INFO_STRUCT> records, RowFactory fnMakeRow, int nMsgId);

    const std::vector<CAlarmMsgWnd*>& ShownRows() const { return m_vecShownRows; }
    bool IsBusy() const { return m_bBusy; }
    CAlarmMsgWnd* CurrentRow() const;
    // The last pressed row while it is still in the list.
    CAlarmMsgWnd* PressedRow() const;

    void MarkAllRowsRead();
    // Deletion mode: every row, also of later pages, shows its check box.
    void SetCheckBoxesVisible(bool bVisible);
    bool IsDeletionMode() const { return m_bDeletionMode; }
    void SetAllChecked(bool bChecked);
    bool AllChecked() const;

    // Asks "确定删除该消息吗？" and deletes the row's message; the next row
    // (or the last) opens, the list keeps its scroll position. False when the
    // operator declined or the row went meanwhile.
    bool AskToDeleteRow(CAlarmMsgWnd* pRow);
    // The window has dropped its selection: the row shown as selected is no
    // longer, so that pressing it opens it again.
    void ClearCurrentRow();

    // Requests of the list (read state and single deletion).
    void HttpSetMsgRead(int nMsgId);
    void HttpSetAllMsgRead();
    void HttpDeleteMsg(int nMsgId);
    // A deletion reply in which the platform says it deleted.
    static bool IsDeleteConfirmed(QNetworkReply* reply);

    // How long a pushed row may take to get its picture before it is opened
    // anyway.
    static constexpr int kPushedRowWaitMs = 15000;
    // Rows put in per turn of the event loop.
    static constexpr size_t kRowsPerTurn = 10;

signals:
    void InterUpdateListSignal();
    void sigItemPressed(CAlarmMsgWnd* msgWnd, int type);
    void sigListFilterClick();
    void sigListDeleteByQueue();
    void sigListSetAllRead();
    void sigListIsSetAllChecked(int nAllChecked);
    // Keys the window serves: a page step as the paging buttons take it (0
    // first, -1 previous, 1 next, 2 last), Delete in deletion mode.
    void sigListPageKey(int nStep);
    void sigListDeleteKey();
    void sigListSaveSnap(CAlarmMsgWnd* pRow);
    // The platform's answer to a single deletion.
    void sigListMsgDeleted(bool bDeleted);

public slots:
    void OnInterUpdateListSlot();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void OnItemPressed(const QModelIndex& index);
    void serviceRequestFinished(QNetworkReply* reply);

private:
    void RemoveAllItems();
    void InsertNextRows();
    bool BeginUpdate(int nMsgId);
    void InsertRow(CAlarmMsgWnd* pRow);
    void OpenContextMenu(const QPoint& ptGlobal);
    void DeleteMenuItemRow();
    void SaveMenuItemSnap();
    void MoveSelection(int nStep);
    void RemoveRowAndOpenNext(CAlarmMsgWnd* pRow);
    void EnterDeletionMode();
    void SetAllReadFromMenu();
    void PressWhenPictureIsIn(CAlarmMsgWnd* pRow, int nIndex);
    CAlarmMsgWnd* RowAt(int nIndex) const;
    QListWidgetItem* ItemOf(const CAlarmMsgWnd* pRow) const;
    void PostListRequest(const char* szPath, const QString& strTag, const std::string& strBody);

    std::vector<CAlarmMsgWnd*> m_vecPendingRows;
    std::vector<ALARM_INFO_STRUCT> m_vecPendingRecords;
    size_t m_nNextRecord = 0;
    RowFactory m_fnMakeRow;
    std::vector<CAlarmMsgWnd*> m_vecShownRows;
    std::vector<QListWidgetItem*> m_vecPageItems; // of the page going in, one per row
    size_t m_nNextItem = 0;
    // Rows are held by QPointer: a press or a menu action can run a nested
    // event loop (a dialog, a wait), in which a new page deletes them.
    QPointer<CAlarmMsgWnd> m_pPressedRow;
    QPointer<CAlarmMsgWnd> m_pCurRow;
    QPointer<QMenu> m_pMenu;
    QPointer<CAlarmMsgWnd> m_pMenuRow; // the row the context menu was opened on
    int m_nRecPushMsgId = -1;
    int m_nPushMsgId = -1;
    bool m_bBusy = false;
    bool m_bDeletionMode = false; // rows show their check boxes
    bool m_bAllChecked = true;    // of the rows put in by this update
    int m_nPushedIndex = -1;      // row of the pushed message in this update
    QNetworkAccessManager m_networkManager;
};
