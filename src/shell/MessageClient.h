// The alarm-message window: the one class the module exports. The host
// constructs it with the launch string and drives it through the public
// operations; the window owns every other object of the module.
#pragma once

#include "alarms/CListCtrl.h"
#include "base/AlarmTypes.h"
#include "base/WinTypes.h"
#include "platform/CTagTimers.h"
#include "shell/MessageClientExport.h"

#include <QMap>
#include <QNetworkAccessManager>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSsl>
#include <QString>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

namespace Ui {
class MessageClientClass;
}

class BigPicWgt;
class CAlarmMsgWnd;
class CCamDirectory;
class CClipSaveBar;
class CClipSaver;
class CEscTipWnd;
class CPasswdInputWnd;
class CPicCodeFlow;
class CPicLoad;
class CMsgPager;
class CPlayThread;
class CPushChannel;
class CTipMsg;
class CusCalendarWnd;
class CusSliderWnd;
class QComboBox;
class QLabel;
class QMovie;
class QNetworkReply;
class QPixmap;
class QPushButton;
class QThread;
class QTimer;

class MESSAGECLIENT_EXPORT MessageClient : public QWidget
{
    Q_OBJECT
public:
    explicit MessageClient(QString strCmdLine, QWidget* parent = nullptr);
    ~MessageClient() override;

    // Host operations.
    void ChangeShowModule(int nPushedMsgId);
    void ChangeHideModule(int nIfChgTabShow);
    void SetModuleMiniFunc(bool bMini);
    void SetBigPicShow(bool bShow);
    void WndMoveFunc();
    void GetAlarmMsg();
    bool IsNetBusy();

    // Used by the module's own classes.
    bool bIfStartOverTime();
    bool ifCurSel(std::string devSerial, int channelNo);
    void cpSelLstItemToCur(CAlarmMsgWnd* pItem);
    void getSelDevSerAndChl(std::string& strDevKey, QString& strAlarmTime);

    // Guarded requests by tag (the token refresh).
    bool startTime(const QString& strTag, int nPeriod);
    void stopTime(const QString& strTag, bool bTimedOut, const QString& strError);

    // Sends one list request: type 0 all messages, 1 unread, 2 search.
    void OnGetMsgList(int type, HTTPMSG_BODY httpBody);

    // One list reply into records and page numbers; false (with the reason)
    // for anything but an object with a "data" array.
    static bool OnParseJsonMsg(std::string json_result, std::vector<ALARM_INFO_STRUCT>& msgVec, int& curPage,
                               int& totalPage, int& totalNum, std::string* pReason = nullptr);

    // Crash dumps: $MESSAGECLIENT_DUMP_DIR, else the configuration's
    // "dump_folder", else "dumps" under the log directory.
    static QString DumpFolder();
    // The dumps of a folder (name order, ignoring case) whose crash has not been reported yet.
    static QStringList UnreportedDumps(const QString& strDir);
    static void ReportEarlierCrashes(const QString& strDir);
    // The crash callback; the crash tests run it in a child process.
    static void DumpCrashCallback();

    // Read by tests and the host side of the module's process.
    HWND parentWnd() const { return m_hParentWnd; }
    bool isEmbedded() const { return m_bEmbedded; }
    // The window the module's dialogs report their showing to: the host, while it lives.
    HWND OwnerWnd() const { return m_bHostLive ? m_hParentWnd : 0; }
    int pushedMsgId() const { return m_nPushedMsgId; }
    void SetRequestTimeout(int nMs) { m_nRequestTimeout = nMs; }
    // The playback watches' period and the first-frame time-out; 0 restores
    // the defaults (500 ms, 30 s). The stall limits are counted in periods.
    void SetPlaybackTimings(int nPollMs, int nFirstFrameMs);
    void SetRefreshGuardPeriod(int nMs) { m_tagTimers.SetDefaultPeriod(nMs); }

public slots:
    // Host operations the host reaches by name as well.
    void HttpGetPermisssion();
    void OnNotHasPermittionSlot();
    void slot_UpdateToken(QString strToken, QString strRefreshToken);
    void slotTopLevMousePress();
    void slotCalendarSet(QString str);

signals:
    void SetRecordPlayOrPause(bool flag);
    void VideoStartSignal(int type);
    void HideWndSignal();
    void ShowWndSignal();
    void UpdateAllMsgSignal();
    void MainWndPosChanged();
    void WndSizeChangedSignal();
    void sig_FullScreen(bool bFullScreen, int nModIdx = 0);
    void sig_UpdateToken(QString strToken, QString strRefreshToken);
    void sigRemoetLogin(QString result);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private slots:
    bool ParseCmdLine();
    void StartTcpConnect();

    void OnCloseBtnClicked();
    void OnMaxNormalClicked();
    void OnFirstPageClicked();
    void OnPrePageClicked();
    void OnNextPageClicked();
    void OnLastPageClicked();
    void OnSearchResFirsPageClicked();
    void OnSearchResPrePageClicked();
    void OnSearchResNextPageClicked();
    void OnSearchResLastPageClicked();
    void SearchDeleteOk();
    void SearchDeleteCancel();
    void SearchSetDeleteAllCheck();
    void OnDevInputTextChanged(const QString& strText);
    void slot_lstSelChg(QString strSel);
    void OnResTabCurChanged(int nIndex);
    void OnFilterBtnClicked();
    void OnBackMsgListBtnClicked();
    void OnFromCalendarBtnClicked();
    void OnToCalendarBtnClicked();
    void OnFilterOkBtnClicked();
    void OnFilterResetBtnClicked();
    void OnDeleteOkBtnClicked();
    void OnDeleteCancelBtnClicked();
    void OnSelectedAllCheckClicked();
    void MsgStatusComboxActivatedSlot(int nIndex);
    void IsEncryptComboxActivatedSlot(int nIndex);
    void OnAllMsgFreshBtnClicked();
    void OnNotReadMsgFreshBtnClicked();
    void OnMaxOrNotBtnClicked();
    void OnRealPlayFirstFrameSlot(std::string devSerial, std::string devEncryptCode, QString strAlarmTm);
    void OnRecordPlayExceptionSlot(QString strMsg);
    void OnSliderPressedOrDraged();
    void hasVideoFrameSlot(int nType, bool bFlag);
    void VideoStartImge(int nType);
    void OnUpdateAllMsg();
    void OnUpdateNotReadMsg();
    void OnVideoFrameTimeSlot();
    void OnHasNotFrameTimeOut();
    void slot_getOSDTmTimerOut();
    void serviceRequestFinished(QNetworkReply* reply);
    void slot_msgItemPressed(CAlarmMsgWnd* pSelectedItem, int nType);
    void OnListDeleteByQueueFunc();
    void slot_listSetAllRead();
    void slot_ListIsSetAllChecked(int nAllChecked);
    void slot_clkRefMsgPic();
    void OnMsgRecordBtnClicked();
    void slot_escKeyPressed();
    void slot_showBigPicBut();
    void slot_bigPicFocOut();
    void OnMsgFlameBtnClicked();
    void slot_msgToDelete();
    void slot_msgPicUpdate(int nId, int bSuc);
    void slot_msgTrustUpdate(QString strDevserial, int nChannelNo, int nTrust);
    void HttpGetTopOrg();
    void HttpGetCam(int id, int pageNo, int pageMaxNum, std::string channelName);
    void OnDevComboTextActivated(const QString& text);
    void GetAllDev();
    void GetTalvoInfo();
    void UpdateCusSlider();
    void OnPushAlarm(QByteArray payload);
    void VideoStopImg(int type);
    void NotHasRecordSlot();
    void OnRePlayAnother(std::string encryptCode);
    void RefreshToken();
    void slot_accessTokenLossEff();
    // Saving the evidence, keys and deletion from the detail side.
    void OnSaveSnapClicked();
    void slot_listSaveSnap(CAlarmMsgWnd* pRow);
    void OnSaveClipClicked();
    void OnClipSaveFinished(int nResult, QString strPath, QString strReason);
    void OnDelMsgBtnClicked();
    void slot_listMsgDeleted(bool bDeleted);
    void slot_listPageKey(int nStep);
    void slot_listDeleteKey();

private:
    void InitCtrl();
    void InitLoadingMovie();
    void InitDetailHint();
    void CreateFilterBtn();
    void InitFilterForm();
    void ApplyLaunchItem(const std::string& strKey, const std::string& strValue);
    void UseDefaultCfgPath();
    void CheckHostWindow();
    void CreatePlayback();
    void ConnectControls();
    void RegisterMetaTypes();
    CListCtrl* CreateMsgList(QWidget* pPage, int nTopMargin);
    void CreateMsgLists();
    void StartVideoSdk();
    void InItMsgGetFlame();
    void InitDetailSide();
    void HandBackTokens();
    QNetworkReply* PostPlatformRequest(const std::string& strPath, const QString& strTag,
                                       const std::string& strBody, QSsl::SslProtocol eProtocol,
                                       bool bAuthorization = true);
    void OnUnauthorizedReply(QNetworkReply* reply);
    void DispatchReply(QNetworkReply* reply, const QString& strTag);
    int& ListTimerId(int type);
    QPointer<QNetworkReply>& ListReply(int type);
    void DropListRequest(int type);
    void OnListTimeout(int type);
    void OnListNetworkError(int type);
    bool AcceptListReply(QNetworkReply* reply, int type);
    static void LogListReply(const QString& strTag, bool bParsed, const std::string& strReason);
    void PostRefreshFail();
    void OnAllMsgReply(QNetworkReply* reply);
    void OnNotReadMsgReply(QNetworkReply* reply);
    void OnSearchMsgReply(QNetworkReply* reply);
    void OnRefreshTokenReply(QNetworkReply* reply);
    void OnPermissionReply(QNetworkReply* reply);
    void ShowListLoading(int type);
    void OnNoListPermission();
    void OnDeleteMsgListReply(QNetworkReply* reply);
    void ParseCamFunc(const std::string& strResult);
    void ParseTopOrgFunc(const std::string& strResult);
    void OnPushUrlReply(const std::string& strResult);
    CListCtrl::RowFactory RowMaker();
    void UpdatePagingBar(int& nCurPage, int& nPageCount, int nTotal, bool bSearch);
    bool StepPage(int nStep, CMsgPager pager, QPushButton* pFirst, QPushButton* pPre, QPushButton* pNext,
                  QPushButton* pLast);
    void OnPageChangedFunc(int type, int stepNum);
    void OnSearchResPageChangedFunc(int stepNum);
    void ShowUnreadCount();
    void OnMsgItemClickedSlot();
    void ShowSelectedPicture();
    void SetDetailPicStyle(const char* szStyle);
    void ShowDetailPicture(const QPixmap& picture);
    // DecodeImgFun: 2 no code was to be had; kDecodeStarted the decryption is
    // under way; kDecodeDropped another alarm was chosen under the dialog.
    static constexpr int kDecodeStarted = 3;
    static constexpr int kDecodeDropped = 4;
    int DecodeImgFun(bool isErrMsgVisible);
    int DecodeSelected();
    bool AskForCode(const QString& strPrompt, bool bShowError, std::string& strCode);
    bool NeedsPictureCode() const;
    void decodeSuc(int& nIfDecSuc, bool bHasInputWnd);
    void OnPictureDecrypted(CPicLoad* pLoad);
    void OnPictureNotDecrypted(int nErrCode, const std::string& strErrDesc);
    void ShowBigPicExpired();
    void ShowDetailDecryptFailure(bool bExpired, const std::string& strErrDesc);
    void RememberCode(const std::string& strSerial, int nChannelNo, const std::string& strCode);
    void HandCodeToRows(const std::string& strSerial, int nChannelNo, const std::string& strCode);
    void HttpUpdateCamCode(std::string strSerial, int channedlNo, std::string strCamCode);
    void ShowBigPicture();
    void RepaintRecordArea();
    bool IsNetworkReachable();
    void RecordPlayFunc();
    void StartAttempt(bool bWithTimeout);
    static std::string PlatformCode(const ALARM_INFO_STRUCT& record);
    void StopStrayPlayback();
    void ShowStalled();
    void OnStopRecordPlayFunc();
    void AskAgainForPlaybackCode();
    void EnterFullScreen();
    void LeaveFullScreen();
    bool ConfirmDeletion();
    void LeaveDeletionMode(bool bSearch);
    void confirmIfDelSel();
    void StopPlaybackOfSelection();
    void HttpDeleteMsgList(std::vector<int> list);
    QPoint ClampDragPosition(QPoint ptTarget) const;
    void RaiseControlBar();
    void setBigPicPosAndShow();
    void OpenCalendarFor(QLabel* pLabel);
    void SetComboChosen(QComboBox* pCombo, int nIndex);
    void ResetFilterTimes();
    void InitSaving();
    void SaveSnapshot(const ALARM_INFO_STRUCT& record, const QByteArray& baPicture);
    void OnSnapshotWritten(int nStatus, const QString& strPath);
    void ShowTip(int nKind, const QString& strText);
    void RememberClipOfSelection(const std::string& strCode);
    void UpdateClipSaveButton();
    bool HandlePlaybackKey(int nKey);
    void ForgetListSelection();
    CListCtrl* ShownMsgList() const;
    QString SearchCriteriaText() const;
    void ShowSearchCriteria(int nTotal);

    // Size of the window when its own title bar drags or restores it.
    static constexpr int kNormalWidth = 1360;
    static constexpr int kNormalHeight = 768;
    void StopPlayback();

    std::unique_ptr<Ui::MessageClientClass> ui;

    QString m_strCmdLine;
    HWND m_hParentWnd = 0;
    bool m_bHostLive = false; // the host window answered; the module reports to it
    bool m_bEmbedded = false; // the module's window lives inside the host's
    bool m_bMaximized = false;
    bool m_bDragging = false;
    QPoint m_ptDragStart;
    QRect m_rcNormal;
    int m_bDetailShown = 0;
    CusSliderWnd* m_pTransSlider = nullptr;
    int m_nTransSliderHeight = 0;
    BigPicWgt* m_pBigPicWgt = nullptr;
    bool m_bIfMinHideBigPic = false;
    int m_bHideBigPic = 0;
    int m_bHideTransSlider = 0;
    int m_nBigPicLeftInset = 69;
    int m_nBigPicMargin = 1;
    QMovie* m_pLoadingMovie = nullptr;
    int m_pAllMsgTimerId = -1;
    int m_pNotReadTimerId = -1;
    int m_pSearchTimerId = -1;
    // The reply each list kind waits for; any other reply of that kind is stale.
    QPointer<QNetworkReply> m_pAllMsgReply;
    QPointer<QNetworkReply> m_pNotReadReply;
    QPointer<QNetworkReply> m_pSearchReply;
    int m_nRefreshRejections = 0; // refreshes the refresh address answered with 401
    int m_nRequestTimeout = 10000;
    int m_nPageSize = 30;
    int m_nPermissionTries = 0;
    int m_nNewMsgCount = 0;
    QPushButton* m_pNewMsgBtn = nullptr;
    int m_nPushedMsgId = -1;
    QNetworkAccessManager m_networkManager;
    CTagTimers m_tagTimers{this};
    HTTPMSG_BODY m_allMsgBody;
    HTTPMSG_BODY m_notReadBody;
    HTTPMSG_BODY m_searchBody;
    ALARM_INFO_STRUCT m_tSelectedMsg;
    CAlarmMsgWnd* m_pSelectedMsgWnd = nullptr; // hidden copy of the selected row
    int m_nBatchDeleteUnreadDelay = 800;
    int m_nBatchDeleteAllDelay = 500;

    // Paging of the three lists.
    int m_pNumCurAllPage = 1;
    int m_pNumAllPage = 1;
    int m_pNumCurNoReadPage = 1;
    int m_pNumNotReadAllPage = 1;
    int m_pAllNotReadNum = 0;
    int m_pNumCurSearchPage = 1;
    int m_pNumSearchAllPage = 1;
    bool m_bInitGetUnRead = true;

    QPushButton* m_pFilterBtn = nullptr;
    CListCtrl* m_pAllMsgList = nullptr;
    CListCtrl* m_pNotReadMsgList = nullptr;
    CListCtrl* m_pSearchMsgList = nullptr;
    CListCtrl* m_pCurMsgList = nullptr;
    CusCalendarWnd* m_pCalendarWnd = nullptr;
    CPlayThread* m_pPlayThread = nullptr;
    CEscTipWnd* m_pEscWnd = nullptr;
    QTimer* m_pVideoFrameTimer = nullptr;
    QTimer* m_pNotHasFrameTime = nullptr;
    QTimer* m_pOsdTimer = nullptr;
    CPushChannel* m_pPushChannel = nullptr;

    // Layout measures the control bar and full screen work with.
    int m_nLeftFrameWidth = 0;
    int m_nRecordLeftGap = 20;
    int m_nTitleHeight = 0;
    int m_nDetailHeight = 0;
    int m_nRecordBottomGap = 4;
    bool m_bFirstFrameArrived = false;
    bool m_bVideoStarted = false;
    bool m_bFullScreen = false;

    // Detail side: the selected alarm's picture and clip.
    std::string m_pEncrypt;                      // code entered or found for the selection
    QPointer<CPasswdInputWnd> m_pPassWdInputWnd; // open code dialog
    QPointer<CPicLoad> m_pDetailLoad;            // the selected picture being decrypted
    std::unique_ptr<CPicCodeFlow> m_pPicCodeFlow;
    bool m_bBigPicHiddenByHost = false;
    bool m_bRefreshPicPending = false;
    int m_nNum = 0; // data-watch ticks since the last video data
    bool m_bIsRecordPlaying = false;
    bool m_bShowPlyBut = false;
    bool m_bStartOverTime = false;
    bool m_bRecordPlayHasInputWnd = false;
    QRect m_rcRecordArea; // record area before full screen
    static constexpr int kFirstFrameTimeoutMs = 30000;
    static constexpr int kPollMs = 500;
    int m_nPollMs = kPollMs;
    int m_nFirstFrameTimeoutMs = kFirstFrameTimeoutMs;

    std::unique_ptr<CCamDirectory> m_pCamDirectory; // behind the device filter
    QLabel* m_pCalendarLabel = nullptr;             // the time label the calendar edits

    // Saved evidence: the clip of the selected alarm once it has been on screen.
    CClipSaver* m_pClipSaver = nullptr;
    CClipSaveBar* m_pClipSaveBar = nullptr;
    QPointer<CTipMsg> m_pLastTip;
    bool m_bClipSavable = false;
    ALARM_INFO_STRUCT m_tClipMsg;
    std::string m_strClipCode;
    std::string m_strClipStart;
    std::string m_strClipStop;
    // The criteria of the last search, as the result page shows them.
    QString m_strSearchCriteria;
    // A list paged by key gets the keys back once its new page is in.
    QPointer<CListCtrl> m_pKeyPagedList;
};
