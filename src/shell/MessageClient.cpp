#include "shell/MessageClient.h"

#include "ui_MessageClient.h"

#include "alarms/AlarmShared.h"
#include "alarms/BigPicWgt.h"
#include "alarms/CAlarmMsgParser.h"
#include "alarms/CAlarmMsgWnd.h"
#include "alarms/CListCtrl.h"
#include "alarms/CMsgListQuery.h"
#include "alarms/CMsgPager.h"
#include "alarms/CPicCodeFlow.h"
#include "base/CLaunchString.h"
#include "base/CfgReader.h"
#include "base/HostMessages.h"
#include "base/LaunchNumber.h"
#include "base/LaunchValues.h"
#include "base/ModuleLog.h"
#include "native/CHostEmbedding.h"
#include "native/CHostLink.h"
#include "native/CrashApi.h"
#include "native/ModulePath.h"
#include "platform/CCamDirectory.h"
#include "platform/CHttpClient.h"
#include "platform/CJasonParse.h"
#include "platform/CPlatformRequest.h"
#include "platform/CTokenRefresh.h"
#include "platform/DevDetailInfo.h"
#include "platform/PermissionTable.h"
#include "playback/CClipSaver.h"
#include "playback/CEscTipWnd.h"
#include "playback/CPlayThread.h"
#include "playback/CVideoSdk.h"
#include "playback/CusSliderWnd.h"
#include "push/CPushChannel.h"
#include "shell/ProcessEnd.h"
#include "widgets/CMsgBox.h"
#include "widgets/CusCalendarWnd.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMovie>
#include <QNetworkReply>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include <json/json.h>

#include <cstdlib>

namespace {

// Beside a dump whose crash the usage log has heard of.
const char* const kReportedSuffix = ".reported";

const char* const kComboStyle =
    "QComboBox{color:#b8bccc;font:14px \"Microsoft YaHei\";border:none;combobox-popup:0;}"
    "QComboBox:focus{color:#4f5466;}"
    "QComboBox::drop-down{subcontrol-origin:padding;subcontrol-position:center right;width:12px;height:12px;"
    "border:none;}"
    "QComboBox::down-arrow{image:url(:/Skin/main/icon_down_default.png);width:12px;height:12px;}"
    "QComboBox::down-arrow:hover{image:url(:/Skin/main/icon_down_hover.png);}"
    "QComboBox::down-arrow:on{image:url(:/Skin/main/icon_up_default.png);}";

} // namespace

// The skin is compiled into a static library, whose resources are only
// registered when asked for by name.
static void InitSkinResources()
{
    Q_INIT_RESOURCE(skin);
}

MessageClient::MessageClient(QString strCmdLine, QWidget* parent)
    : QWidget(parent), ui((InitSkinResources(), std::make_unique<Ui::MessageClientClass>())),
      m_pPicCodeFlow(std::make_unique<CPicCodeFlow>()), m_pCamDirectory(std::make_unique<CCamDirectory>())
{
    m_pPushChannel = new CPushChannel(this);
    connect(m_pPushChannel, &CPushChannel::sigPushAlarm, this, &MessageClient::OnPushAlarm);
    ui->setupUi(this);
    m_strCmdLine = strCmdLine;
    HttpGetPermisssion();
    InitCtrl();

    const QString strDumpDir = DumpFolder();
    CrashAPI_Init();
    CrashAPI_SetDumpPath(strDumpDir.toLocal8Bit().constData());
    CrashAPI_SetCallBack(&MessageClient::DumpCrashCallback);
    ReportEarlierCrashes(strDumpDir);
}

MessageClient::~MessageClient()
{
    // The push worker ends before anything it reports to goes.
    m_pPushChannel->Stop();
    // Rows go with the window's children; their idle connections go now.
    delete m_pAllMsgList;
    delete m_pNotReadMsgList;
    delete m_pSearchMsgList;
    m_pAllMsgList = m_pNotReadMsgList = m_pSearchMsgList = m_pCurMsgList = nullptr;
    CAlarmMsgWnd::ReleaseSharedConnections();
    delete m_pPlayThread;
    m_pPlayThread = nullptr;
    delete m_pTransSlider;
    m_pTransSlider = nullptr;
    if (m_pLoadingMovie) {
        m_pLoadingMovie->stop();
        delete m_pLoadingMovie;
        m_pLoadingMovie = nullptr;
    }
    CrashAPI_Uninit();
}

// ---------------------------------------------------------------- set-up

// The window's state starts from the initial values its header gives.
void MessageClient::InitCtrl()
{
    InitLoadingMovie();
    InitDetailHint();
    CreateFilterBtn();
    InitFilterForm();
    ParseCmdLine();
    CreatePlayback();
    const QList<QPushButton*> pagingButtons = {
        ui->firstPageBtn,       ui->prePageBtn,       ui->nextPageBtn,       ui->lastPageBtn,
        ui->searchResFirstPage, ui->searchResPrePage, ui->searchResNextPage, ui->searchResLastPage};
    for (QPushButton* pButton : pagingButtons) {
        pButton->setEnabled(false);
    }
    ConnectControls();
    RegisterMetaTypes();
    m_pVideoFrameTimer = new QTimer(this);
    m_pNotHasFrameTime = new QTimer(this);
    connect(m_pVideoFrameTimer, &QTimer::timeout, this, &MessageClient::OnVideoFrameTimeSlot);
    connect(m_pNotHasFrameTime, &QTimer::timeout, this, &MessageClient::OnHasNotFrameTimeOut);
    CreateMsgLists();
    m_pCalendarWnd = new CusCalendarWnd(this);
    m_pCalendarWnd->hide();
    m_pCurMsgList = m_pNotReadMsgList;
    OnUpdateNotReadMsg();
    StartVideoSdk();
    if (m_pPlayThread) {
        m_pPlayThread->InitSession();
    }
    InItMsgGetFlame();
    m_nLeftFrameWidth = ui->leftFrame->width();
    m_nTitleHeight = ui->title_widget->height();
    m_nDetailHeight = ui->detlFram->height();
    InitDetailSide();
    m_pEscWnd = new CEscTipWnd(this);
    m_pEscWnd->hide();
    connect(m_pEscWnd, &CEscTipWnd::KeyEscPressedSig, this, &MessageClient::slot_escKeyPressed);
    m_pBigPicWgt = new BigPicWgt(this);
    m_pBigPicWgt->hide();
    connect(m_pBigPicWgt, &BigPicWgt::sigFocOut, this, &MessageClient::slot_bigPicFocOut);
    m_pOsdTimer = new QTimer(this);
    connect(m_pOsdTimer, &QTimer::timeout, this, &MessageClient::slot_getOSDTmTimerOut);
    InitSaving();
}

void MessageClient::InitLoadingMovie()
{
    // One animation serves both loading pages; stopping it stops both.
    m_pLoadingMovie = new QMovie(QStringLiteral(":/Skin/main/loading.gif"));
    ui->allMsgLoadingLab->setMovie(m_pLoadingMovie);
    ui->notReadLoadingLab->setMovie(m_pLoadingMovie);
}

void MessageClient::InitDetailHint()
{
    ui->pageLab->setText(QStringLiteral("1/1"));
    MC_LOG(3, "MessageClient::InitDetailHint", "<%d>\t<%s>,ui.rghtStkWgt->setCurrentWidget(ui.orgPage)");
    ui->rghtStkWgt->setCurrentWidget(ui->orgPage);
    ui->selectAllFrame->hide();
    ui->deleteByQueueBotFrame->hide();
}

void MessageClient::CreateFilterBtn()
{
    m_pFilterBtn = new QPushButton(ui->leftFrame);
    m_pFilterBtn->setObjectName(QStringLiteral("filterBtn"));
    m_pFilterBtn->setStyleSheet(QStringLiteral("color: #4f5466;font: 14px \"微软雅黑\";border:none;"));
    m_pFilterBtn->setText(QStringLiteral("筛选"));
    m_pFilterBtn->setFixedSize(40, 16);
    m_pFilterBtn->move(230, 15);
    m_pFilterBtn->show();
    m_pFilterBtn->setCursor(Qt::PointingHandCursor);
    m_pFilterBtn->setFocusPolicy(Qt::NoFocus);
}

void MessageClient::InitFilterForm()
{
    ui->leftTabWidget->tabBar()->hide();
    ui->leftTabWidget->setCurrentIndex(0);
    ui->resTab->setCurrentWidget(ui->notReadTab);
    ui->notReadResultTab->setCurrentIndex(0);
    ui->selectAllFrame_2->hide();
    ui->deleteByQueueBotFrame_2->hide();
    ui->searchDeleteOk->setText(QStringLiteral("删除 (0)"));

    ResetFilterTimes();

    ui->msgStatusCombox->setCurrentIndex(2);
    ui->isEncryptCombox->setCurrentIndex(2);
    ui->msgStatusCombox->setStyleSheet(QString::fromUtf8(kComboStyle));
    ui->isEncryptCombox->setStyleSheet(QString::fromUtf8(kComboStyle));
    ui->alarmDevInput->setPlaceholderText(QStringLiteral("全部设备"));
    ui->popLstWgt->hide();
    ui->popLstWgt->resize(220, 202);
}

void MessageClient::CreatePlayback()
{
    CPlayOwner owner;
    owner.fnIsNetBusy = [this] { return IsNetBusy(); };
    owner.fnIsStartOverTime = [this] { return bIfStartOverTime(); };
    owner.fnIsCurSel = [this](const std::string& strDevSerial, int nChannelNo) {
        return ifCurSel(strDevSerial, nChannelNo);
    };
    owner.fnGetSel = [this](std::string& strDevKey, QString& strAlarmTime) {
        getSelDevSerAndChl(strDevKey, strAlarmTime);
    };
    m_pPlayThread = new CPlayThread(this, std::move(owner));
    // The video library paints into the record area's own native window.
    ui->recordArea->setAttribute(Qt::WA_NativeWindow);
    m_pPlayThread->SetPlayWnd(reinterpret_cast<void*>(ui->recordArea->winId()));
    m_pTransSlider = new CusSliderWnd(m_pPlayThread, ui->recordArea);
    m_nTransSliderHeight = m_pTransSlider->height();
    MC_LOG(2, "MessageClient::CreatePlayback", "<%d>\t<%s>,m_pTransSlider->hide()");
    m_pTransSlider->hide();
    connect(m_pTransSlider, &CusSliderWnd::sigFullScrClk, this, &MessageClient::OnMaxOrNotBtnClicked);
}

void MessageClient::ConnectControls()
{
    connect(ui->closebtn, &QPushButton::clicked, this, &MessageClient::OnCloseBtnClicked);
    connect(ui->maxbtn, &QPushButton::clicked, this, &MessageClient::OnMaxNormalClicked);
    connect(ui->minbtn, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(ui->firstPageBtn, &QPushButton::clicked, this, &MessageClient::OnFirstPageClicked);
    connect(ui->prePageBtn, &QPushButton::clicked, this, &MessageClient::OnPrePageClicked);
    connect(ui->nextPageBtn, &QPushButton::clicked, this, &MessageClient::OnNextPageClicked);
    connect(ui->lastPageBtn, &QPushButton::clicked, this, &MessageClient::OnLastPageClicked);
    connect(ui->searchResFirstPage, &QPushButton::clicked, this, &MessageClient::OnSearchResFirsPageClicked);
    connect(ui->searchResPrePage, &QPushButton::clicked, this, &MessageClient::OnSearchResPrePageClicked);
    connect(ui->searchResNextPage, &QPushButton::clicked, this, &MessageClient::OnSearchResNextPageClicked);
    connect(ui->searchResLastPage, &QPushButton::clicked, this, &MessageClient::OnSearchResLastPageClicked);
    connect(ui->searchDeleteOk, &QPushButton::clicked, this, &MessageClient::SearchDeleteOk);
    connect(ui->searchDeleteCancel, &QPushButton::clicked, this, &MessageClient::SearchDeleteCancel);
    connect(ui->selectAllCheck_2, &QCheckBox::clicked, this, &MessageClient::SearchSetDeleteAllCheck);
    connect(ui->alarmDevInput, &QLineEdit::textEdited, this, &MessageClient::OnDevInputTextChanged);
    connect(ui->popLstWgt, &PopupListWgt::chgSelItem, this, &MessageClient::slot_lstSelChg);
    connect(ui->resTab, &QTabWidget::currentChanged, this, &MessageClient::OnResTabCurChanged);
    connect(m_pFilterBtn, &QPushButton::clicked, this, &MessageClient::OnFilterBtnClicked);
    for (QPushButton* pBack :
         {ui->backMsgListBtn, ui->backMsgListBtn2, ui->backMsgListBtn_2, ui->backMsgListBtn_4,
          ui->backMsgListBtn_5, ui->backMsgListBtn_6, ui->backMsgListBtn_7}) {
        connect(pBack, &QPushButton::clicked, this, &MessageClient::OnBackMsgListBtnClicked);
    }
    ui->backMsgListBtn_5->hide();
    ui->backMsgListBtn_7->hide();
    connect(ui->fromCalBtn, &QPushButton::clicked, this, &MessageClient::OnFromCalendarBtnClicked);
    connect(ui->toCalBtn, &QPushButton::clicked, this, &MessageClient::OnToCalendarBtnClicked);
    connect(ui->filterOkBtn, &QPushButton::clicked, this, &MessageClient::OnFilterOkBtnClicked);
    connect(ui->searchRetryBtn, &QPushButton::clicked, this, &MessageClient::OnFilterOkBtnClicked);
    connect(ui->filterResetBtn, &QPushButton::clicked, this, &MessageClient::OnFilterResetBtnClicked);
    connect(ui->deleteOkBtn, &QPushButton::clicked, this, &MessageClient::OnDeleteOkBtnClicked);
    connect(ui->deleteCancelBtn, &QPushButton::clicked, this, &MessageClient::OnDeleteCancelBtnClicked);
    connect(ui->selectAllCheck, &QCheckBox::clicked, this, &MessageClient::OnSelectedAllCheckClicked);
    // The combo boxes are connected by signature text: activated(int) is
    // overloaded with activated(QString) in this Qt.
    connect(ui->msgStatusCombox, SIGNAL(activated(int)), this, SLOT(MsgStatusComboxActivatedSlot(int)));
    connect(ui->isEncryptCombox, SIGNAL(activated(int)), this, SLOT(IsEncryptComboxActivatedSlot(int)));
    connect(ui->AllMsgFreshBtn, &QPushButton::clicked, this, &MessageClient::OnAllMsgFreshBtnClicked);
    connect(ui->NotReadMsgFreshBtn, &QPushButton::clicked, this, &MessageClient::OnNotReadMsgFreshBtnClicked);
    connect(m_pPlayThread, &CPlayThread::RealPlayFirstFrameSignal, this,
            &MessageClient::OnRealPlayFirstFrameSlot);
    connect(m_pPlayThread, &CPlayThread::RecordPlayException, this,
            &MessageClient::OnRecordPlayExceptionSlot);
    connect(m_pPlayThread, &CPlayThread::SliderPressOrDrag, this, &MessageClient::OnSliderPressedOrDraged);
    connect(m_pPlayThread, &CPlayThread::HasFrameSignal, this, &MessageClient::hasVideoFrameSlot);
    connect(this, &MessageClient::VideoStartSignal, this, &MessageClient::VideoStartImge);
    connect(this, &MessageClient::UpdateAllMsgSignal, this, &MessageClient::OnUpdateAllMsg);
    connect(&m_networkManager, &QNetworkAccessManager::finished, this,
            &MessageClient::serviceRequestFinished);
    connect(ui->refshPicPushBut, &QPushButton::clicked, this, &MessageClient::slot_clkRefMsgPic);
    connect(ui->butLblWgt, &ButLblWgt::sigButClked, this, &MessageClient::OnMsgRecordBtnClicked);
    connect(ui->rePlyBut, &QPushButton::clicked, this, &MessageClient::OnMsgRecordBtnClicked);
    connect(ui->bigPicBut, &QPushButton::clicked, this, &MessageClient::slot_showBigPicBut);
}

void MessageClient::RegisterMetaTypes()
{
    qRegisterMetaType<DEV_DETAIL_INFO>("dev_detail_info");
    qRegisterMetaType<std::string>("string");
    qRegisterMetaType<std::string>();
    qRegisterMetaType<ALARM_INFO_STRUCT>("alarm_info_struct");
    qRegisterMetaType<CAlarmMsgWnd*>("CAlarmMsgWnd");
}

CListCtrl* MessageClient::CreateMsgList(QWidget* pPage, int nTopMargin)
{
    auto* pList = new CListCtrl(pPage);
    auto* pLayout = new QVBoxLayout(pPage);
    pLayout->setSpacing(0);
    pLayout->setContentsMargins(10, nTopMargin, 10, 20);
    pLayout->addWidget(pList);
    connect(pList, &CListCtrl::sigItemPressed, this, &MessageClient::slot_msgItemPressed);
    connect(pList, &CListCtrl::sigListFilterClick, this, &MessageClient::OnFilterBtnClicked);
    connect(pList, &CListCtrl::sigListDeleteByQueue, this, &MessageClient::OnListDeleteByQueueFunc);
    connect(pList, &CListCtrl::sigListSetAllRead, this, &MessageClient::slot_listSetAllRead);
    connect(pList, &CListCtrl::sigListIsSetAllChecked, this, &MessageClient::slot_ListIsSetAllChecked);
    connect(pList, &CListCtrl::sigListPageKey, this, &MessageClient::slot_listPageKey);
    connect(pList, &CListCtrl::sigListDeleteKey, this, &MessageClient::slot_listDeleteKey);
    connect(pList, &CListCtrl::sigListSaveSnap, this, &MessageClient::slot_listSaveSnap);
    connect(pList, &CListCtrl::sigListMsgDeleted, this, &MessageClient::slot_listMsgDeleted);
    // Each update ends with this signal: a list paged by key takes the keys back.
    connect(pList, &CListCtrl::sigListIsSetAllChecked, this, [this, pList] {
        if (m_pKeyPagedList == pList) {
            m_pKeyPagedList = nullptr;
            pList->setFocus(Qt::OtherFocusReason);
        }
    });
    pList->show();
    return pList;
}

void MessageClient::CreateMsgLists()
{
    m_pAllMsgList = CreateMsgList(ui->allResListTab, 20);
    m_pNotReadMsgList = CreateMsgList(ui->notReadListTab, 20);
    m_pSearchMsgList = CreateMsgList(ui->searchResultFrame, 0);
}

void MessageClient::StartVideoSdk()
{
    const LaunchValues values = LaunchValues::snapshot();
    CVideoSdk::instance()->Init(values.Appkey);
    CVideoSdk::instance()->SetAccessToken(values.AccessToken);
}

void MessageClient::InItMsgGetFlame()
{
    m_pNewMsgBtn = new QPushButton(ui->leftFrame);
    m_pNewMsgBtn->setObjectName(QStringLiteral("newMsgBtn"));
    m_pNewMsgBtn->setGeometry(0, 40, 296, 35);
    m_pNewMsgBtn->setCursor(Qt::PointingHandCursor);
    m_pNewMsgBtn->setStyleSheet(QStringLiteral(
        "background-color: rgba(255, 119, 28, 204);color: #FFFFFF;font: 14px \"Microsoft YaHei\";"));
    m_pNewMsgBtn->hide();
    connect(m_pNewMsgBtn, &QPushButton::clicked, this, &MessageClient::OnMsgFlameBtnClicked);
}

// ---------------------------------------------------------------- message lists

void MessageClient::OnUpdateAllMsg()
{
    m_pNewMsgBtn->hide();
    m_nNewMsgCount = 0;
    if (ui->resTab->currentWidget() == ui->allResTab) {
        OnGetMsgList(CMsgListQuery::kAll, CMsgListQuery::Page(CMsgListQuery::kAll, 1, m_nPageSize));
    } else {
        ui->resTab->setCurrentWidget(ui->allResTab); // its change handler asks for the page
    }
    ui->leftTabWidget->setCurrentIndex(0);
}

void MessageClient::OnUpdateNotReadMsg()
{
    OnGetMsgList(CMsgListQuery::kUnread, CMsgListQuery::Page(CMsgListQuery::kUnread, 1, m_nPageSize));
}

void MessageClient::OnResTabCurChanged(int nIndex)
{
    // Deletion mode belongs to the list it was entered on; a switch made for
    // the operator (new-message tip, a pushed alarm) ends it.
    if (m_pAllMsgList->IsDeletionMode() || m_pNotReadMsgList->IsDeletionMode()) {
        DeleteIdList().clear();
        LeaveDeletionMode(false);
    }
    if (nIndex == 1) {
        OnUpdateNotReadMsg();
        m_pCurMsgList = m_pNotReadMsgList;
        return;
    }
    OnGetMsgList(CMsgListQuery::kAll,
                 CMsgListQuery::Page(CMsgListQuery::kAll, m_pNumCurAllPage, m_nPageSize));
    m_pCurMsgList = m_pAllMsgList;
    m_pNewMsgBtn->hide();
    m_nNewMsgCount = 0;
}

void MessageClient::OnAllMsgFreshBtnClicked()
{
    OnGetMsgList(0, m_allMsgBody);
}

void MessageClient::OnNotReadMsgFreshBtnClicked()
{
    OnGetMsgList(1, m_notReadBody);
}

void MessageClient::GetAlarmMsg()
{
    ++m_nNewMsgCount;
    QString strCount = QString::number(m_nNewMsgCount);
    if (m_nNewMsgCount > 99) {
        m_nNewMsgCount = 100;
        strCount = QStringLiteral("99+");
    }
    m_pNewMsgBtn->setText(QStringLiteral("收到") + strCount + QStringLiteral("条消息，点击刷新"));
    m_pNewMsgBtn->show();
    m_pNewMsgBtn->raise();
}

void MessageClient::OnMsgFlameBtnClicked()
{
    m_pNewMsgBtn->hide();
    m_nNewMsgCount = 0;
    ui->leftTabWidget->setCurrentIndex(0);
    m_pFilterBtn->show();
    ui->resTab->setCurrentWidget(ui->notReadTab);
    DropListRequest(1); // a page on its way may predate the new alarms
    OnUpdateNotReadMsg();
}

void MessageClient::InitDetailSide()
{
    ui->msgNoteLbl->hide();
    ui->refshPicPushBut->hide();
    ui->recordNothingLab->hide();
    ui->rePlyBut->hide();
    ui->label_9->hide();
    ui->orgLabel->hide();
    ui->picNtRtyWgt->resize(300, 171);
    ui->picLab->resize(300, 171);
    ui->picLab->move(0, 0);
}

// ---------------------------------------------------------------- launch string

bool MessageClient::ParseCmdLine()
{
    const QString strCmdLine = m_strCmdLine;
    if (strCmdLine.isEmpty()) {
        return false;
    }
    for (const auto& item : CLaunchString::Split(strCmdLine)) {
        ApplyLaunchItem(item.first, item.second);
    }
    CheckHostWindow();
    return true;
}

void MessageClient::ApplyLaunchItem(const std::string& strKey, const std::string& strValue)
{
    static const char* const kFn = "MessageClient::ParseCmdLine";
    if (strKey == "ParentWnd") {
        if (strValue.empty()) {
            MC_LOG(3, kFn, "<%d>\t<%s>,ParentWnd:NULL");
            return;
        }
        m_hParentWnd = LaunchNumber(strValue);
        MC_LOG(3, kFn, "<%d>\t<%s>,nHwnd:%d", static_cast<int>(m_hParentWnd));
        return;
    }
    if (CLaunchString::StoreTextKey(strKey, strValue)) {
        return;
    }
    if (strKey == "CfgPath") {
        if (strValue.empty()) {
            MC_LOG(3, kFn, "<%d>\t<%s>,CfgPath:NULL");
            UseDefaultCfgPath();
            return;
        }
        LaunchValues::update([&](LaunchValues& values) { values.CfgPath = strValue; });
    } else if (strKey == "NewWnd") {
        if (strValue.empty()) {
            MC_LOG(3, kFn, "<%d>\t<%s>,NewWnd:NULL");
            return;
        }
        const bool bIsStNewWnd = LaunchNumber(strValue) != 0;
        MC_LOG(3, kFn, "<%d>\t<%s>,nIsStNewWnd:%d", bIsStNewWnd ? 1 : 0);
    } else if (strKey == "PushedMsgId") {
        if (strValue.empty()) {
            MC_LOG(3, kFn, "<%d>\t<%s>,PushedMsgId:NULL");
            return;
        }
        m_nPushedMsgId = LaunchNumber(strValue);
    } else if (strKey == "DcLogUrl" || strKey == "CmDclogUrl") {
        const bool bDc = strKey == "DcLogUrl";
        if (strValue.empty()) {
            MC_LOG(5, kFn,
                   bDc ? "<%d>\t<%s>,---CmdLine DcLogUrl Is Empty"
                       : "<%d>\t<%s>,---CmdLine CmDclogUrl Is Empty");
            return;
        }
        (bDc ? CHttpClient::instance()->m_strDcLogUrl : CHttpClient::instance()->m_strCmDclogUrl) =
            QString::fromLocal8Bit(strValue.c_str());
    }
}

void MessageClient::UseDefaultCfgPath()
{
    static const char* const kFn = "MessageClient::ParseCmdLine";
    const std::string strCfgDir = native::GetModuleDir() + "../Lunet/default";
    if (!native::PathExists(strCfgDir, false)) {
        MC_LOG(3, kFn, "<%d>\t<%s>,strCfgDir:%s NULL", strCfgDir.c_str());
        return;
    }
    const std::string strCfgFile = strCfgDir + "/" + "global_cfg.cfg";
    if (!native::PathExists(strCfgFile, true)) {
        MC_LOG(3, kFn, "<%d>\t<%s>,strCfgFile:%s NULL", strCfgFile.c_str());
        return;
    }
    LaunchValues::update([&](LaunchValues& values) { values.CfgPath = strCfgFile; });
}

void MessageClient::CheckHostWindow()
{
    if (!native::IsWindow(m_hParentWnd)) {
        // Without a live host the module has no one to serve.
        close();
        return;
    }
    m_bHostLive = true;
    // A host without a window to hold the module (a scripted one, or a
    // platform that cannot share windows) leaves it its own frame.
    auto* pEmbedding = new CHostEmbedding(this);
    if (!pEmbedding->Embed(m_hParentWnd)) {
        delete pEmbedding;
        return;
    }
    m_bEmbedded = true;
    ui->title_widget->hide();
    if (m_bMaximized) {
        ui->maxbtn->setChecked(false);
        m_bMaximized = false;
    }
}

// ---------------------------------------------------------------- host operations

void MessageClient::ChangeShowModule(int nPushedMsgId)
{
    m_bDetailShown = 1;
    m_nPushedMsgId = -1;
    emit ShowWndSignal();
    if (m_bHideTransSlider == 1) {
        m_bHideTransSlider = 0;
        UpdateCusSlider();
    }
    if (m_bHideBigPic == 1 && m_pBigPicWgt) {
        m_bHideBigPic = 0;
        const QPoint ptCorner = mapToGlobal(QPoint(0, 0));
        m_pBigPicWgt->move(ptCorner.x() - m_nBigPicLeftInset, ptCorner.y() - m_nBigPicMargin);
        m_pBigPicWgt->show();
    }
    m_nPushedMsgId = nPushedMsgId;
    if (nPushedMsgId <= 0) {
        return;
    }
    if (m_bFullScreen) {
        slot_escKeyPressed();
    }
    ui->resTab->setCurrentWidget(ui->notReadTab);
    if (m_pBigPicWgt) {
        native::SendMessage(m_hParentWnd, WM_PROCESS_SHOWWND, 10, 1);
        m_pBigPicWgt->hide();
    }
    HttpGetPermisssion();
    MC_LOG(3, "MessageClient::ChangeShowModule", "<%d>\t<%s>,WM_PROCESS_SHOWWND OnGetMsgList");
    // An unread page already on its way may predate the pushed alarm, or be
    // stuck until its time-out: the host's page wins.
    DropListRequest(CMsgListQuery::kUnread);
    OnGetMsgList(CMsgListQuery::kUnread, CMsgListQuery::Page(CMsgListQuery::kUnread, 1, m_nPageSize));
    ui->leftTabWidget->setCurrentIndex(0);
    ui->resTab->setCurrentWidget(ui->notReadTab);
    m_pFilterBtn->show();
    if (m_pNewMsgBtn) {
        m_pNewMsgBtn->hide();
    }
    m_nNewMsgCount = 0;
}

void MessageClient::ChangeHideModule(int nIfChgTabShow)
{
    static const char* const kFn = "MessageClient::ChangeHideModule";
    emit HideWndSignal();
    MC_LOG(3, kFn, "<%d>\t<%s>,nIfChgTabShow:%d", nIfChgTabShow);
    m_bDetailShown = 0;
    if (nIfChgTabShow != 1) {
        delete m_pSelectedMsgWnd;
        m_pSelectedMsgWnd = nullptr;
        m_tSelectedMsg = ALARM_INFO_STRUCT();
        // The lists must not keep a selection the window has dropped, or a
        // press on that row would be taken for a press on the open message.
        ForgetListSelection();
        m_bClipSavable = false;
        UpdateClipSaveButton();
        StopPlaybackOfSelection();
        MC_LOG(3, kFn, "<%d>\t<%s>,ui.rghtStkWgt->setCurrentWidget(ui.orgPage)");
        ui->rghtStkWgt->setCurrentWidget(ui->orgPage);
    } else {
        if (m_pTransSlider && m_pTransSlider->isVisible()) {
            m_bHideTransSlider = 1;
            m_pTransSlider->hide();
        }
        if (m_pBigPicWgt && m_pBigPicWgt->isVisible()) {
            m_bHideBigPic = 1;
            m_pBigPicWgt->hide();
        }
    }
    m_pFilterBtn->show();
    MC_LOG(3, kFn, "<%d>\t<%s>,ChangeHideModule end");
}

void MessageClient::SetModuleMiniFunc(bool bMini)
{
    static const char* const kFn = "MessageClient::SetModuleMiniFunc";
    MC_LOG(3, kFn, "<%d>\t<%s>,bMini:%d", bMini ? 1 : 0);
    if (bMini) {
        emit HideWndSignal();
        if (m_pTransSlider) {
            MC_LOG(2, kFn, "<%d>\t<%s>,m_pTransSlider resize 0,0");
            m_pTransSlider->hide();
        }
        if (m_pBigPicWgt && m_pBigPicWgt->isVisible()) {
            MC_LOG(2, kFn, "<%d>\t<%s>,m_pBigPicWgt && m_pBigPicWgt->isVisible()");
            m_pBigPicWgt->hide();
            m_bIfMinHideBigPic = true;
        }
        return;
    }
    emit ShowWndSignal();
    MC_LOG(3, kFn, "<%d>\t<%s>,nativeEventFilter 3898 UpdateCusSlider before");
    UpdateCusSlider();
    if (m_bIfMinHideBigPic && m_pBigPicWgt) {
        MC_LOG(2, kFn, "<%d>\t<%s>,m_bIfMinHideBigPic && m_pBigPicWgt");
        m_pBigPicWgt->show();
        m_bIfMinHideBigPic = false;
    }
}

void MessageClient::WndMoveFunc()
{
    emit MainWndPosChanged();
    MC_LOG(3, "MessageClient::WndMoveFunc", "<%d>\t<%s>,nativeEventFilter UpdateCusSlider before");
    UpdateCusSlider();
    if (m_pBigPicWgt && m_pBigPicWgt->isVisible()) {
        setBigPicPosAndShow();
        MC_LOG(3, "MessageClient::WndMoveFunc", "<%d>\t<%s>,m_pBigPicWgt->move");
    }
}

void MessageClient::HttpGetPermisssion()
{
    Json::Value body;
    body["clientType"] = 4;
    PostPlatformRequest("/api/user/member/app/menu/info", QStringLiteral("GetUserPermission"),
                        CPlatformRequest::WriteJson(body), QSsl::AnyProtocol);
}

void MessageClient::OnNotHasPermittionSlot() {}

void MessageClient::slot_UpdateToken(QString strToken, QString strRefreshToken)
{
    if (strToken.isEmpty() || strRefreshToken.isEmpty()) {
        return;
    }
    const std::string strNewToken = strToken.toLocal8Bit().toStdString();
    const std::string strNewRefresh = strRefreshToken.toLocal8Bit().toStdString();
    LaunchValues::update([&](LaunchValues& values) {
        values.Token = strNewToken;
        values.RefreshToken = strNewRefresh;
    });
}

void MessageClient::slotTopLevMousePress()
{
    if (m_hParentWnd) {
        native::PostMessage(m_hParentWnd, WM_TOPLEV_MOUSEPRESS, 0, 0);
    }
}

// ---------------------------------------------------------------- platform requests

bool MessageClient::startTime(const QString& strTag, int nPeriod)
{
    return m_tagTimers.Start(strTag, nPeriod);
}

void MessageClient::stopTime(const QString& strTag, bool bTimedOut, const QString& /*strError*/)
{
    m_tagTimers.Stop(strTag);
    CTokenRefresh::LogGuardTimeout(strTag, bTimedOut, "MessageClient::stopTime");
}

QNetworkReply* MessageClient::PostPlatformRequest(const std::string& strPath, const QString& strTag,
                                                  const std::string& strBody, QSsl::SslProtocol eProtocol,
                                                  bool bAuthorization)
{
    const std::string strServerUrl = LaunchValues::snapshot().ServerUrl;
    if (strServerUrl.empty()) {
        // Before the launch string is read there is nowhere to send to.
        MC_LOG(3, "MessageClient::PostPlatformRequest", "<%d>\t<%s>,no server address yet, %s not sent",
               strTag.toLocal8Bit().constData());
        return nullptr;
    }
    const QNetworkRequest request = CPlatformRequest::Build(
        strServerUrl + strPath, strTag, CPlatformRequest::JsonBody, bAuthorization, eProtocol);
    return CPlatformRequest::Post(m_networkManager, request, strBody);
}

void MessageClient::OnGetMsgList(int type, HTTPMSG_BODY httpBody)
{
    static const char* const kFn = "MessageClient::OnGetMsgList";
    MC_LOG(3, kFn, "<%d>\t<%s>,type:%d", type);
    if (!CJasonParse().HasPermission(kMsgListMenuId, PermissionTable()) && m_nPermissionTries > 2) {
        OnNoListPermission();
        return;
    }
    m_nPermissionTries = m_nPermissionTries < 2 ? m_nPermissionTries + 1 : 3;
    const QString strTag = CMsgListQuery::Tag(type);
    if (strTag.isEmpty()) {
        return;
    }
    if (type == 2 && m_pSearchTimerId != -1) {
        // The operator's newest criteria win: the result of the older search
        // must not be shown for them.
        MC_LOG(3, kFn, "<%d>\t<%s>,search in flight replaced by a new one");
        DropListRequest(2);
    }
    if (ListTimerId(type) != -1) {
        return; // one request of a kind in flight at a time
    }
    ListTimerId(type) = startTimer(m_nRequestTimeout);
    if (type == 0) {
        m_allMsgBody = httpBody;
    } else if (type == 1) {
        m_notReadBody = httpBody;
    }
    ShowListLoading(type);
    ListReply(type) =
        PostPlatformRequest("/api/msg/list", strTag, CMsgListQuery::Body(httpBody), QSsl::AnyProtocol);
    HttpGetPermisssion();
}

int& MessageClient::ListTimerId(int type)
{
    return type == 0 ? m_pAllMsgTimerId : type == 1 ? m_pNotReadTimerId : m_pSearchTimerId;
}

QPointer<QNetworkReply>& MessageClient::ListReply(int type)
{
    return type == 0 ? m_pAllMsgReply : type == 1 ? m_pNotReadReply : m_pSearchReply;
}

void MessageClient::DropListRequest(int type)
{
    int& nTimerId = ListTimerId(type);
    if (nTimerId != -1) {
        killTimer(nTimerId);
        nTimerId = -1;
    }
    // Forgotten before the abort, whose finished signal comes back at once.
    if (QNetworkReply* pOld = ListReply(type).data()) {
        ListReply(type) = nullptr;
        pOld->abort();
    }
}

void MessageClient::ShowListLoading(int type)
{
    if (type == 0) {
        ui->allResultTab->setCurrentIndex(2);
        ui->allMsgLoadingLab->setMovie(m_pLoadingMovie);
    } else if (type == 1) {
        ui->notReadResultTab->setCurrentIndex(2);
        ui->notReadLoadingLab->setMovie(m_pLoadingMovie);
    } else {
        return;
    }
    m_pLoadingMovie->start();
}

void MessageClient::serviceRequestFinished(QNetworkReply* reply)
{
    const QString strTag = CPlatformRequest::TagOf(reply);
    // Whatever the platform sent, nothing thrown may leave this slot.
    try {
        DispatchReply(reply, strTag);
    } catch (const std::exception& error) {
        MC_LOG(5, "MessageClient::serviceRequestFinished", "<%d>\t<%s>,reply %s dropped: %s",
               strTag.toLocal8Bit().constData(), error.what());
    }
    reply->abort();
    reply->deleteLater();
}

void MessageClient::DispatchReply(QNetworkReply* reply, const QString& strTag)
{
    static const char* const kFn = "MessageClient::DispatchReply";
    const int nListType = CMsgListQuery::TypeOf(strTag);
    if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toString() == QLatin1String("401")) {
        OnUnauthorizedReply(reply);
    } else if (reply->error() != QNetworkReply::NoError) {
        if (nListType >= 0 && reply != ListReply(nListType)) {
            return; // a request already given up (timed out, replaced, abandoned)
        }
        MC_LOG(5, kFn, "<%d>\t<%s>,http service error:%s", reply->errorString().toLocal8Bit().constData());
        if (nListType >= 0) {
            OnListNetworkError(nListType);
        } else if (strTag == QLatin1String("DeleteMsgList")) {
            ShowTip(1, QStringLiteral("删除失败，请稍后重试"));
        }
    } else if (strTag == QLatin1String("GetAllMsg")) {
        OnAllMsgReply(reply);
    } else if (strTag == QLatin1String("GetNotReadMsg")) {
        OnNotReadMsgReply(reply);
    } else if (strTag == QLatin1String("GetSearchMsg")) {
        OnSearchMsgReply(reply);
    } else if (strTag == QLatin1String("RefreshToken")) {
        OnRefreshTokenReply(reply);
    } else if (strTag == QLatin1String("DeleteMsgList")) {
        OnDeleteMsgListReply(reply);
    } else if (strTag == QLatin1String("GetCam")) {
        ParseCamFunc(CPlatformRequest::ReadBody(reply));
    } else if (strTag == QLatin1String("GetOrg")) {
        ParseTopOrgFunc(CPlatformRequest::ReadBody(reply));
    } else if (strTag == QLatin1String("GetPushUrl")) {
        OnPushUrlReply(CPlatformRequest::ReadBody(reply));
    } else if (strTag == QLatin1String("GetUserPermission")) {
        OnPermissionReply(reply);
    } else if (strTag == QLatin1String("UpdateCamCode")) {
        CPlatformRequest::ReadBody(reply);
    }
}

void MessageClient::OnListNetworkError(int type)
{
    if (type != 2) {
        return; // the other lists show their failure page when their time runs out
    }
    // The search has its answer: the timer must not bring the failure page
    // back later, nor keep "重试" from sending.
    DropListRequest(2);
    m_pLoadingMovie->stop();
    ui->leftTabWidget->setCurrentIndex(3);
}

void MessageClient::OnUnauthorizedReply(QNetworkReply* reply)
{
    static const char* const kFn = "MessageClient::OnUnauthorizedReply";
    QString strMsg;
    if (CTokenRefresh::IsRemoteLogin(reply, strMsg, kFn)) {
        emit sigRemoetLogin(strMsg);
        return;
    }
    if (CPlatformRequest::TagOf(reply) == QLatin1String("RefreshToken")) {
        ++m_nRefreshRejections;
        MC_LOG(5, kFn, "<%d>\t<%s>,refresh refused with 401, %d in a row", m_nRefreshRejections);
    }
    if (m_nRefreshRejections >= CTokenRefresh::kMaxRefreshRejections) {
        // The refresh itself is refused: asking again cannot mend the login.
        MC_LOG(5, kFn, "<%d>\t<%s>,refresh refused with 401 %d times", m_nRefreshRejections);
        MC_LOG(5, kFn, "<%d>\t<%s>,refreshtoken Failed");
        m_nRefreshRejections = 0;
        PostRefreshFail();
        return;
    }
    RefreshToken();
}

void MessageClient::PostRefreshFail()
{
    native::PostMessage(m_hParentWnd, WM_REFRESHTOKEN_FAIL, 1, static_cast<LPARAM>(winId()));
}

bool MessageClient::AcceptListReply(QNetworkReply* reply, int type)
{
    if (reply != ListReply(type)) {
        // Not the request this list waits for (it timed out, or a newer one
        // replaced it): its data must not reach the list.
        MC_LOG(3, "MessageClient::AcceptListReply", "<%d>\t<%s>,stale %s reply dropped",
               CPlatformRequest::TagOf(reply).toLocal8Bit().constData());
        if (type == 1) {
            MC_LOG(3, "MessageClient::AcceptListReply", "<%d>\t<%s>,return");
        }
        return false;
    }
    ListReply(type) = nullptr;
    killTimer(ListTimerId(type));
    ListTimerId(type) = -1;
    return true;
}

void MessageClient::LogListReply(const QString& strTag, bool bParsed, const std::string& strReason)
{
    if (!bParsed) {
        MC_LOG(5, "MessageClient::LogListReply", "<%d>\t<%s>,%s reply refused: %s",
               strTag.toLocal8Bit().constData(), strReason.c_str());
    } else if (!strReason.empty()) {
        MC_LOG(5, "MessageClient::LogListReply", "<%d>\t<%s>,%s reply: %s", strTag.toLocal8Bit().constData(),
               strReason.c_str());
    }
}

void MessageClient::OnAllMsgReply(QNetworkReply* reply)
{
    if (!AcceptListReply(reply, 0)) {
        return;
    }
    m_pFilterBtn->setVisible(ui->leftTabWidget->currentIndex() != 1);
    ui->allMsgLoadingLab->setMovie(nullptr);
    std::vector<ALARM_INFO_STRUCT> msgVec;
    int nTotal = 0;
    std::string strReason;
    const bool bParsed = OnParseJsonMsg(CPlatformRequest::ReadBody(reply), msgVec, m_pNumCurAllPage,
                                        m_pNumAllPage, nTotal, &strReason);
    LogListReply(QStringLiteral("GetAllMsg"), bParsed, strReason);
    if (CMsgPager(m_pNumCurAllPage, m_pNumAllPage).TakePageGone(msgVec.empty())) {
        MC_LOG(3, "MessageClient::OnAllMsgReply", "<%d>\t<%s>,all page gone, now %d", m_pNumCurAllPage);
        OnGetMsgList(CMsgListQuery::kAll,
                     CMsgListQuery::Page(CMsgListQuery::kAll, m_pNumCurAllPage, m_nPageSize));
        return;
    }
    m_pLoadingMovie->stop();
    ui->allResultTab->setCurrentIndex(!bParsed || msgVec.empty() ? 0 : 1);
    m_pAllMsgList->UpdateListRecords(std::move(msgVec), RowMaker(), -1);
    if (ui->resTab->currentIndex() == 0) {
        UpdatePagingBar(m_pNumCurAllPage, m_pNumAllPage, nTotal, false);
    }
}

void MessageClient::OnNotReadMsgReply(QNetworkReply* reply)
{
    if (!AcceptListReply(reply, 1)) {
        return;
    }
    ui->notReadLoadingLab->setMovie(nullptr);
    std::vector<ALARM_INFO_STRUCT> msgVec;
    std::string strReason;
    const bool bParsed = OnParseJsonMsg(CPlatformRequest::ReadBody(reply), msgVec, m_pNumCurNoReadPage,
                                        m_pNumNotReadAllPage, m_pAllNotReadNum, &strReason);
    LogListReply(QStringLiteral("GetNotReadMsg"), bParsed, strReason);
    if (CMsgPager(m_pNumCurNoReadPage, m_pNumNotReadAllPage).TakePageGone(msgVec.empty())) {
        MC_LOG(3, "MessageClient::OnNotReadMsgReply", "<%d>\t<%s>,unread page gone, now %d",
               m_pNumCurNoReadPage);
        OnGetMsgList(CMsgListQuery::kUnread,
                     CMsgListQuery::Page(CMsgListQuery::kUnread, m_pNumCurNoReadPage, m_nPageSize));
        return;
    }
    m_pLoadingMovie->stop();
    ShowUnreadCount();
    // Only the very first answer may send an operator without unread
    // messages to "全部"; reading them all later keeps the tab.
    const bool bFirstAnswer = m_bInitGetUnRead && bParsed;
    if (bParsed) {
        m_bInitGetUnRead = false;
    }
    if (ui->resTab->currentIndex() != 1) {
        return;
    }
    if (bFirstAnswer && m_pAllNotReadNum == 0) {
        OnUpdateAllMsg();
        return;
    }
    // An unparseable reply keeps the previous total, so the page follows it.
    m_pNotReadMsgList->UpdateListRecords(std::move(msgVec), RowMaker(), m_nPushedMsgId);
    m_nPushedMsgId = -1;
    ui->notReadResultTab->setCurrentIndex(m_pAllNotReadNum > 0 ? 1 : 0);
    UpdatePagingBar(m_pNumCurNoReadPage, m_pNumNotReadAllPage, m_pAllNotReadNum, false);
}

void MessageClient::OnSearchMsgReply(QNetworkReply* reply)
{
    if (!AcceptListReply(reply, 2)) {
        return;
    }
    m_pLoadingMovie->stop();
    ui->deleteByQueueBotFrame_2->setVisible(ui->selectAllFrame_2->isVisible());
    std::vector<ALARM_INFO_STRUCT> msgVec;
    int nTotal = 0;
    std::string strReason;
    const bool bParsed = OnParseJsonMsg(CPlatformRequest::ReadBody(reply), msgVec, m_pNumCurSearchPage,
                                        m_pNumSearchAllPage, nTotal, &strReason);
    LogListReply(QStringLiteral("GetSearchMsg"), bParsed, strReason);
    if (!bParsed) {
        ui->leftTabWidget->setCurrentIndex(3);
        return;
    }
    m_pFilterBtn->show();
    if (msgVec.empty()) {
        ui->leftTabWidget->setCurrentIndex(4);
        for (QPushButton* pButton :
             {ui->searchResFirstPage, ui->searchResPrePage, ui->searchResNextPage, ui->searchResLastPage}) {
            pButton->setEnabled(false);
        }
        return;
    }
    m_pSearchMsgList->UpdateListRecords(std::move(msgVec), RowMaker(), -1);
    ui->leftTabWidget->setCurrentIndex(5);
    UpdatePagingBar(m_pNumCurSearchPage, m_pNumSearchAllPage, nTotal, true);
    ShowSearchCriteria(nTotal);
}

bool MessageClient::OnParseJsonMsg(std::string json_result, std::vector<ALARM_INFO_STRUCT>& msgVec,
                                   int& curPage, int& totalPage, int& totalNum, std::string* pReason)
{
    return CAlarmMsgParser::Parse(json_result, msgVec, curPage, totalPage, totalNum, pReason);
}

void MessageClient::OnNoListPermission()
{
    (new CMsgBox(this, 1, 2, QStringLiteral("操作无权限")))->exec();
    HttpGetPermisssion();
}

void MessageClient::RefreshToken()
{
    if (!startTime(QStringLiteral("RefreshToken"), -1)) {
        return; // a refresh went out less than a guard period ago
    }
    std::string strBody;
    const QNetworkRequest request = CTokenRefresh::BuildRequest(strBody);
    CPlatformRequest::Post(m_networkManager, request, strBody);
}

void MessageClient::OnRefreshTokenReply(QNetworkReply* reply)
{
    std::string strCode;
    QString strToken;
    QString strRefreshToken;
    if (!CTokenRefresh::StoreReply(reply, strCode, strToken, strRefreshToken)) {
        MC_LOG(5, "MessageClient::OnRefreshTokenReply", "<%d>\t<%s>,refreshtoken Failed");
        if (strCode == "20027") {
            PostRefreshFail();
        }
        return;
    }
    m_nRefreshRejections = 0;
    emit sig_UpdateToken(strToken, strRefreshToken);
}

void MessageClient::OnPermissionReply(QNetworkReply* reply)
{
    if (!CJasonParse().ParsePermission(CPlatformRequest::ReadBody(reply), PermissionTable())) {
        MC_LOG(5, "MessageClient::OnPermissionReply", "<%d>\t<%s>,get Permission info faild！");
    }
}

void MessageClient::slot_accessTokenLossEff()
{
    MC_LOG(3, "MessageClient::slot_accessTokenLossEff", "<%d>\t<%s>,WM_ACESSTOKEN_LOSS_RELD");
    native::SendMessage(m_hParentWnd, WM_ACESSTOKEN_LOSS_RELD, 0, 0);
}

// ---------------------------------------------------------------- events

void MessageClient::mousePressEvent(QMouseEvent* event)
{
    if (!m_bEmbedded && !m_bFullScreen && ui->title_widget->geometry().contains(event->pos())) {
        m_bDragging = true;
        m_ptDragStart = event->pos();
    }
    if (m_pCalendarWnd && m_pCalendarWnd->isVisible()) {
        // The picker commits its choice when it loses activation.
        QEvent deactivate(QEvent::WindowDeactivate);
        QCoreApplication::sendEvent(m_pCalendarWnd, &deactivate);
    }
    if (m_bFullScreen && m_pPlayThread && m_pPlayThread->IsRecordPlaying() && m_pTransSlider) {
        m_pTransSlider->raise();
    }
    setAttribute(Qt::WA_Mapped);
    QWidget::mousePressEvent(event);
}

void MessageClient::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_bEmbedded) {
        if (m_bDragging) {
            native::PostMessage(m_hParentWnd, WM_WNDDRAG_END, 3, static_cast<LPARAM>(winId()));
        }
        m_bDragging = false;
    }
    QWidget::mouseReleaseEvent(event);
}

void MessageClient::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (!m_bFullScreen && ui->title_widget->geometry().contains(event->pos())) {
        ui->maxbtn->click();
    }
}

void MessageClient::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_bEmbedded && m_bDragging) {
        resize(kNormalWidth, kNormalHeight);
        ui->maxbtn->setChecked(false);
        m_bMaximized = false;
        move(ClampDragPosition(event->globalPos() - m_ptDragStart));
        MC_LOG(3, "MessageClient::mouseMoveEvent", "<%d>\t<%s>,mouseMoveEvent UpdateCusSlider before");
        UpdateCusSlider();
    }
    QWidget::mouseMoveEvent(event);
}

QPoint MessageClient::ClampDragPosition(QPoint ptTarget) const
{
    const QScreen* pScreen = QGuiApplication::primaryScreen();
    if (!pScreen) {
        return ptTarget;
    }
    const QRect rcScreen = pScreen->geometry();
    ptTarget.setY(std::max(0, std::min(ptTarget.y(), rcScreen.height() - kNormalHeight)));
    if (QGuiApplication::screens().size() < 2) {
        ptTarget.setX(std::max(0, std::min(ptTarget.x(), rcScreen.width() - kNormalWidth)));
    }
    return ptTarget;
}

void MessageClient::keyPressEvent(QKeyEvent* event)
{
    const int nKey = event->key();
    if (nKey == Qt::Key_Escape) {
        slot_escKeyPressed();
        return;
    }
    if (event->modifiers() == Qt::NoModifier && HandlePlaybackKey(nKey)) {
        return;
    }
    const bool bPopupOpen = ui->leftTabWidget->currentWidget() == ui->filterTab &&
                            ui->alarmDevInput->hasFocus() && ui->popLstWgt->isVisible();
    if (!bPopupOpen) {
        return;
    }
    if (nKey == Qt::Key_Enter || nKey == Qt::Key_Return) {
        const QString strEntry = ui->popLstWgt->CurrentText();
        if (!strEntry.isEmpty()) {
            ui->alarmDevInput->setText(strEntry);
            ui->popLstWgt->hide();
        }
    } else if (nKey == Qt::Key_Up || nKey == Qt::Key_Down) {
        ui->popLstWgt->MoveSelection(nKey == Qt::Key_Up ? -1 : 1);
    }
}

void MessageClient::resizeEvent(QResizeEvent* event)
{
    static const char* const kFn = "MessageClient::resizeEvent";
    MC_LOG(3, kFn, "<%d>\t<%s>,resizeEvent");
    emit WndSizeChangedSignal();
    setAttribute(Qt::WA_Mapped);
    if (!m_bFullScreen) {
        MC_LOG(3, kFn, "<%d>\t<%s>,resizeEvent UpdateCusSlider before");
        UpdateCusSlider();
    }
    if (ui->rghtStkWgt->currentWidget() == ui->orgPage) {
        ui->detailPage->resize(ui->orgPage->size());
    }
    ui->picLab->resize(ui->picNtRtyWgt->size());
    ui->picLab->move(0, 0);
    if (!isVisible() && m_pTransSlider) {
        MC_LOG(2, kFn, "<%d>\t<%s>,m_pTransSlider->hide()");
        m_pTransSlider->hide();
    }
    if (m_pBigPicWgt && m_pBigPicWgt->isVisible()) {
        setBigPicPosAndShow();
    }
    QWidget::resizeEvent(event);
}

void MessageClient::changeEvent(QEvent* event)
{
    MC_LOG(3, "MessageClient::changeEvent", "<%d>\t<%s>,event->type()=%d", static_cast<int>(event->type()));
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        RaiseControlBar();
    }
    if (event->type() == QEvent::WindowStateChange) {
        if (!(windowState() & Qt::WindowMinimized)) {
            setAttribute(Qt::WA_Mapped);
        }
        const Qt::WindowStates eState = windowState();
        if ((eState == Qt::WindowMinimized || eState == (Qt::WindowMinimized | Qt::WindowFullScreen)) &&
            m_pBigPicWgt) {
            m_pBigPicWgt->hide();
        }
    }
    QWidget::changeEvent(event);
}

void MessageClient::timerEvent(QTimerEvent* event)
{
    const int nTimerId = event->timerId();
    if (nTimerId == m_pAllMsgTimerId) {
        OnListTimeout(0);
    } else if (nTimerId == m_pNotReadTimerId) {
        OnListTimeout(1);
    } else if (nTimerId == m_pSearchTimerId) {
        OnListTimeout(2);
    } else if (const QString strTag = m_tagTimers.TagOf(nTimerId); !strTag.isEmpty()) {
        stopTime(strTag, true, QStringLiteral("timerout error"));
    } else {
        QObject::timerEvent(event);
    }
}

void MessageClient::OnListTimeout(int type)
{
    MC_LOG(5, "MessageClient::OnListTimeout", "<%d>\t<%s>,%s request timed out after %d ms",
           CMsgListQuery::Tag(type).toLatin1().constData(), m_nRequestTimeout);
    // Its reply, should it still come, must not fill the list over a retry.
    DropListRequest(type);
    m_pLoadingMovie->stop();
    if (type == 0) {
        ui->allMsgLoadingLab->setMovie(nullptr);
        ui->allResultTab->setCurrentIndex(3);
    } else if (type == 1) {
        ui->notReadLoadingLab->setMovie(nullptr);
        ui->notReadResultTab->setCurrentIndex(3);
    } else {
        ui->leftTabWidget->setCurrentIndex(3);
    }
}

void MessageClient::closeEvent(QCloseEvent* event)
{
    if (m_pTransSlider && m_pTransSlider->isVisible()) {
        MC_LOG(2, "MessageClient::closeEvent", "<%d>\t<%s>,m_pTransSlider->hide()");
        m_pTransSlider->resize(0, 0);
    }
    if (m_pBigPicWgt) {
        m_pBigPicWgt->hide();
    }
    hide();
    if (m_hParentWnd != 0) {
        HandBackTokens();
        native::SendMessage(m_hParentWnd, WM_MODULE_CLOSE, 3, 0);
    }
    StopPlayback();
    // A clip still being saved goes, with its temporary file, before the library does.
    delete m_pClipSaver;
    m_pClipSaver = nullptr;
    CVideoSdk::instance()->FiniLib();
    MC_LOG(3, "MessageClient::closeEvent", "<%d>\t<%s>,module process ends");
    QWidget::closeEvent(event);
    EndModuleProcess();
}

void MessageClient::HandBackTokens()
{
    const LaunchValues values = LaunchValues::snapshot();
    const std::string* tokens[] = {&values.Token, &values.RefreshToken};
    for (WPARAM wParam = 0; wParam < 2; ++wParam) {
        COPYDATASTRUCT data{COPYDATA_TOKEN, static_cast<std::uint32_t>(tokens[wParam]->size()),
                            tokens[wParam]->data()};
        CHostLink::instance()->sendCopyData(m_hParentWnd, wParam, data);
    }
}

void MessageClient::StopPlayback()
{
    if (m_pPlayThread) {
        if (m_pPlayThread->IsRecordPlaying()) {
            m_pPlayThread->StopRecordPlay();
        }
        delete m_pPlayThread;
        m_pPlayThread = nullptr;
    }
    delete m_pTransSlider;
    m_pTransSlider = nullptr;
}

// Runs inside the fatal-signal handler, so it only appends to the log file
// with plain writes: the log library's lock, the heap and the network may be
// what failed. The usage event for the crash goes out from the next start.
void MessageClient::DumpCrashCallback()
{
    static const char* const kFn = "MessageClient::DumpCrashCallback";
    logkit::writeFromSignalHandler(5, "MessageClient", __LINE__, kFn, "Crash,Report Dump File Start...");
    const char* szDump = CrashAPI_GetDumpFile();
    if (szDump[0]) {
        logkit::writeFromSignalHandler(5, "MessageClient", __LINE__, kFn, "Get Dump File:", szDump);
    }
}

QString MessageClient::DumpFolder()
{
    QString strDir = qEnvironmentVariable("MESSAGECLIENT_DUMP_DIR");
    if (strDir.isEmpty()) {
        strDir = QString::fromLocal8Bit(
            ReadCfgString(LaunchValues::snapshot().CfgPath, "dump_folder", "").c_str());
    }
    if (strDir.isEmpty()) {
        strDir = QString::fromLocal8Bit(logkit::logDirectory().c_str()) + QStringLiteral("/dumps");
    }
    return QFileInfo(strDir).absoluteFilePath();
}

QStringList MessageClient::UnreportedDumps(const QString& strDir)
{
    QStringList dumps;
    const QDir dir(strDir);
    const QFileInfoList entries = dir.entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& entry : entries) {
        if (entry.suffix().compare(QLatin1String("dmp"), Qt::CaseInsensitive) == 0 &&
            !QFileInfo::exists(entry.absoluteFilePath() + QLatin1String(kReportedSuffix))) {
            dumps.append(entry.absoluteFilePath());
        }
    }
    return dumps;
}

// A dying process cannot send anything safely, so each crash is reported as
// its usage event by the next start, once; a mark beside the dump records it.
void MessageClient::ReportEarlierCrashes(const QString& strDir)
{
    CHttpClient* pClient = CHttpClient::instance();
    if (pClient->m_strDcLogUrl.isEmpty() || pClient->m_strCmDclogUrl.isEmpty()) {
        return;
    }
    for (const QString& strDump : UnreportedDumps(strDir)) {
        MC_LOG(5, "MessageClient::ReportEarlierCrashes", "<%d>\t<%s>,Get Dump File:%s",
               strDump.toLocal8Bit().constData());
        pClient->HttpUpLoadDcLog(QStringLiteral("module=") + QStringLiteral("Message"),
                                 QStringLiteral("saas_pcclient_dmpinfo"));
        QFile mark(strDump + QLatin1String(kReportedSuffix));
        if (!mark.open(QIODevice::WriteOnly)) {
            MC_LOG(5, "MessageClient::ReportEarlierCrashes", "<%d>\t<%s>,cannot mark %s as reported: %s",
                   strDump.toLocal8Bit().constData(), mark.errorString().toLocal8Bit().constData());
        }
    }
}

// ---------------------------------------------------------------- slots wired now, filled with their
// features

void MessageClient::StartTcpConnect()
{
    m_pPushChannel->Start(m_networkManager);
}

void MessageClient::OnPushAlarm(QByteArray payload)
{
    // The host hears of each alarm with its own copy of the notice.
    MC_LOG(3, "MessageClient::OnPushAlarm", "<%d>\t<%s>,AIMSG:%s", payload.constData());
    if (m_hParentWnd) {
        CHostLink::instance()->postMessageWithData(m_hParentWnd, WM_PUSH_AIMSG, 0, 0, payload);
    }
}
void MessageClient::OnCloseBtnClicked()
{
    MC_LOG(3, "MessageClient::OnCloseBtnClicked", "<%d>\t<%s>,before close");
    close();
}
void MessageClient::OnMaxNormalClicked()
{
    if (m_bMaximized) {
        showNormal();
        resize(kNormalWidth, kNormalHeight);
        move(m_rcNormal.topLeft());
    } else {
        m_rcNormal = geometry();
        const QScreen* pScreen = screen();
        const QRect rcAvailable = pScreen ? pScreen->availableGeometry() : geometry();
        resize(rcAvailable.size());
        move(rcAvailable.topLeft());
    }
    MC_LOG(3, "MessageClient::OnMaxNormalClicked", "<%d>\t<%s>,OnMaxNormalClicked UpdateCusSlider before");
    UpdateCusSlider();
    m_bMaximized = !m_bMaximized;
}

void MessageClient::OnPushUrlReply(const std::string& strResult)
{
    m_pPushChannel->OnPushUrlReply(strResult);
}

// ---------------------------------------------------------------- rows and paging

CListCtrl::RowFactory MessageClient::RowMaker()
{
    return [this](const ALARM_INFO_STRUCT& record, QWidget* pParent) {
        auto* pRow = new CAlarmMsgWnd(pParent, CAlarmMsgWnd::Place::ListRow);
        connect(pRow, &CAlarmMsgWnd::sigAcesLosEff, this, &MessageClient::slot_accessTokenLossEff);
        connect(pRow, &CAlarmMsgWnd::sigMsgToDelete, this, &MessageClient::slot_msgToDelete);
        connect(pRow, &CAlarmMsgWnd::sigMsgPicUpdate, this, &MessageClient::slot_msgPicUpdate);
        connect(pRow, &CAlarmMsgWnd::sigCamInfoUpdate, this, &MessageClient::slot_msgTrustUpdate);
        pRow->SetAlarmInfo(record);
        return pRow;
    };
}

void MessageClient::UpdatePagingBar(int& nCurPage, int& nPageCount, int nTotal, bool bSearch)
{
    CMsgPager pager(nCurPage, nPageCount);
    pager.Clamp();
    (bSearch ? ui->searchResPageLab : ui->pageLab)->setText(pager.Text());
    const bool bFirst = pager.AtFirst();
    const bool bLast = pager.AtLast();
    (bSearch ? ui->searchResFirstPage : ui->firstPageBtn)->setEnabled(!bFirst);
    (bSearch ? ui->searchResPrePage : ui->prePageBtn)->setEnabled(!bFirst);
    (bSearch ? ui->searchResNextPage : ui->nextPageBtn)->setEnabled(!bLast);
    (bSearch ? ui->searchResLastPage : ui->lastPageBtn)->setEnabled(!bLast);
    // The delete bar shares the frame: in deletion mode it stays reachable.
    (bSearch ? ui->frame_8Paging : ui->leftBottomFramePaging)->setVisible(nTotal != 0);
    const QFrame* pDeleteBar = bSearch ? ui->deleteByQueueBotFrame_2 : ui->deleteByQueueBotFrame;
    (bSearch ? ui->frame_8 : ui->leftBottomFrame)->setVisible(nTotal != 0 || !pDeleteBar->isHidden());
}

void MessageClient::OnFirstPageClicked()
{
    OnPageChangedFunc(ui->resTab->currentIndex() == 1 ? 0 : 1, 0);
}

void MessageClient::OnPrePageClicked()
{
    OnPageChangedFunc(ui->resTab->currentIndex() == 1 ? 0 : 1, -1);
    ui->prePageBtn->setEnabled(false);
}

void MessageClient::OnNextPageClicked()
{
    OnPageChangedFunc(ui->resTab->currentIndex() == 1 ? 0 : 1, 1);
    ui->nextPageBtn->setEnabled(false);
}

void MessageClient::OnLastPageClicked()
{
    OnPageChangedFunc(ui->resTab->currentIndex() == 1 ? 0 : 1, 2);
}

// Moves the pager by the step; false (and the buttons of that end disabled)
// when there is nowhere to go.
bool MessageClient::StepPage(int nStep, CMsgPager pager, QPushButton* pFirst, QPushButton* pPre,
                             QPushButton* pNext, QPushButton* pLast)
{
    if (pager.Step(nStep)) {
        return true;
    }
    const bool bBackward = CMsgPager::IsBackward(nStep);
    (bBackward ? pFirst : pNext)->setEnabled(false);
    (bBackward ? pPre : pLast)->setEnabled(false);
    return false;
}

void MessageClient::OnPageChangedFunc(int type, int stepNum)
{
    static const char* const kFn = "MessageClient::OnPageChangedFunc";
    MC_LOG(3, kFn, "<%d>\t<%s>,type:%d step:%d", type, stepNum);
    const bool bUnread = type == 0;
    if (bUnread && m_pAllNotReadNum == 0) {
        m_pNotReadMsgList->UpdateListCtrl({}, -1);
        ui->pageLab->setText(QStringLiteral("1/1"));
        for (QPushButton* pButton : {ui->firstPageBtn, ui->prePageBtn, ui->nextPageBtn, ui->lastPageBtn}) {
            pButton->setEnabled(false);
        }
        return;
    }
    int& nCurPage = bUnread ? m_pNumCurNoReadPage : m_pNumCurAllPage;
    int& nPageCount = bUnread ? m_pNumNotReadAllPage : m_pNumAllPage;
    const CMsgPager pager(nCurPage, nPageCount);
    if (!StepPage(stepNum, pager, ui->firstPageBtn, ui->prePageBtn, ui->nextPageBtn, ui->lastPageBtn)) {
        return;
    }
    if (bUnread) {
        CMsgPager(nCurPage, nPageCount).KeepWithinCount();
    }
    MC_LOG(3, kFn, "<%d>\t<%s>,page %d of %d", nCurPage, nPageCount);
    const int nType = bUnread ? CMsgListQuery::kUnread : CMsgListQuery::kAll;
    OnGetMsgList(nType, CMsgListQuery::Page(nType, nCurPage, m_nPageSize));
}

void MessageClient::OnSearchResPageChangedFunc(int stepNum)
{
    MC_LOG(3, "MessageClient::OnSearchResPageChangedFunc", "<%d>\t<%s>,step:%d", stepNum);
    if (!StepPage(stepNum, CMsgPager(m_pNumCurSearchPage, m_pNumSearchAllPage), ui->searchResFirstPage,
                  ui->searchResPrePage, ui->searchResNextPage, ui->searchResLastPage)) {
        return;
    }
    m_searchBody.pageNo = m_pNumCurSearchPage;
    OnGetMsgList(2, m_searchBody);
}

void MessageClient::OnSearchResFirsPageClicked()
{
    OnSearchResPageChangedFunc(0);
}

void MessageClient::OnSearchResPrePageClicked()
{
    ui->searchResPrePage->setEnabled(false);
    OnSearchResPageChangedFunc(-1);
}

void MessageClient::OnSearchResNextPageClicked()
{
    ui->searchResNextPage->setEnabled(false);
    OnSearchResPageChangedFunc(1);
}

void MessageClient::OnSearchResLastPageClicked()
{
    OnSearchResPageChangedFunc(2);
}

// ---------------------------------------------------------------- selection

void MessageClient::slot_msgItemPressed(CAlarmMsgWnd* pSelectedItem, int nType)
{
    if (!pSelectedItem) {
        return;
    }
    cpSelLstItemToCur(pSelectedItem);
    m_tSelectedMsg = pSelectedItem->GetAlarmInfo();
    MC_LOG(3, "MessageClient::slot_msgItemPressed", "<%d>\t<%s>,id:%d serial:%s channel:%d",
           m_tSelectedMsg.id, m_tSelectedMsg.deviceSerial.c_str(), m_tSelectedMsg.channelNo);
    if (nType == 0 && m_pAllNotReadNum > 0) {
        --m_pAllNotReadNum;
        ShowUnreadCount();
    }
    OnMsgItemClickedSlot();
}

void MessageClient::ShowUnreadCount()
{
    m_pAllNotReadNum = std::max(m_pAllNotReadNum, 0);
    ui->resTab->setTabText(1, m_pAllNotReadNum > 99 ? QStringLiteral("未读(99+)")
                                                    : QStringLiteral("未读(%1)").arg(m_pAllNotReadNum));
    native::PostMessage(m_hParentWnd, WM_UNREAD_COUNT, 3, m_pAllNotReadNum);
}

void MessageClient::cpSelLstItemToCur(CAlarmMsgWnd* pItem)
{
    if (m_pSelectedMsgWnd) {
        // It may be the row whose signal is being handled: it goes once that
        // is over, and is silent until then.
        m_pSelectedMsgWnd->disconnect(this);
        m_pSelectedMsgWnd->deleteLater();
    }
    m_pSelectedMsgWnd = new CAlarmMsgWnd(this);
    m_pSelectedMsgWnd->hide();
    m_pSelectedMsgWnd->CopyFrom(pItem);
}

bool MessageClient::ifCurSel(std::string devSerial, int channelNo)
{
    return m_tSelectedMsg.deviceSerial == devSerial && m_tSelectedMsg.channelNo == channelNo;
}

void MessageClient::getSelDevSerAndChl(std::string& strDevKey, QString& strAlarmTime)
{
    strDevKey = DevCodeKey(m_tSelectedMsg.deviceSerial, m_tSelectedMsg.channelNo);
    strAlarmTime = m_tSelectedMsg.alarmTimeText;
}

// ---------------------------------------------------------------- read state and deletion

void MessageClient::slot_listSetAllRead()
{
    m_pAllNotReadNum = 0;
    ShowUnreadCount();
    m_pAllMsgList->MarkAllRowsRead();
    m_pNotReadMsgList->UpdateListCtrl({}, -1);
}

void MessageClient::OnListDeleteByQueueFunc()
{
    if (ui->leftTabWidget->currentIndex() == 5) {
        ui->selectAllFrame_2->show();
        ui->selectAllCheck_2->setChecked(false);
        ui->deleteByQueueBotFrame_2->show();
        ui->frame_8->show();
        ui->searchDeleteOk->setText(QStringLiteral("删除 (0)"));
        return;
    }
    m_pFilterBtn->hide();
    ui->resTab->tabBar()->hide();
    ui->selectAllFrame->show();
    ui->selectAllCheck->setChecked(false);
    ui->deleteByQueueBotFrame->show();
    ui->leftBottomFrame->show();
    ui->deleteOkBtn->setText(QStringLiteral("删除 (0)"));
}

void MessageClient::slot_msgToDelete()
{
    const QString strCount = QStringLiteral("删除 (%1)").arg(DeleteIdList().size());
    if (ui->leftTabWidget->currentIndex() == 5) {
        ui->searchDeleteOk->setText(strCount);
        ui->selectAllCheck_2->setChecked(m_pSearchMsgList->AllChecked());
        return;
    }
    ui->deleteOkBtn->setText(strCount);
    ui->selectAllCheck->setChecked(m_pCurMsgList->AllChecked());
}

void MessageClient::OnSelectedAllCheckClicked()
{
    m_pCurMsgList->SetAllChecked(ui->selectAllCheck->isChecked());
}

void MessageClient::SearchSetDeleteAllCheck()
{
    m_pSearchMsgList->SetAllChecked(ui->selectAllCheck_2->isChecked());
}

void MessageClient::slot_ListIsSetAllChecked(int nAllChecked)
{
    QCheckBox* pBox = ui->leftTabWidget->currentIndex() == 5 ? ui->selectAllCheck_2 : ui->selectAllCheck;
    pBox->setChecked(nAllChecked == 1);
}

bool MessageClient::ConfirmDeletion()
{
    if (DeleteIdList().isEmpty()) {
        (new CMsgBox(this, 0, 0, QStringLiteral("请选中要删除的消息")))->exec();
        return false;
    }
    auto* pBox = new CMsgBox(this, 0, 0,
                             QStringLiteral("确定删除选中的") + QString::number(DeleteIdList().size()) +
                                 QStringLiteral("条消息？"));
    return pBox->exec() == QDialog::Accepted;
}

void MessageClient::LeaveDeletionMode(bool bSearch)
{
    if (bSearch) {
        m_pSearchMsgList->SetCheckBoxesVisible(false);
        ui->selectAllFrame_2->hide();
        ui->deleteByQueueBotFrame_2->hide();
        ui->selectAllCheck_2->setChecked(false);
        ui->searchDeleteOk->setText(QStringLiteral("删除 (0)"));
        return;
    }
    // Both message lists: the mode may have been entered on the other one.
    m_pAllMsgList->SetCheckBoxesVisible(false);
    m_pNotReadMsgList->SetCheckBoxesVisible(false);
    m_pFilterBtn->show();
    ui->resTab->tabBar()->show();
    ui->selectAllFrame->hide();
    ui->deleteByQueueBotFrame->hide();
    ui->selectAllCheck->setChecked(false);
    ui->deleteOkBtn->setText(QStringLiteral("删除 (0)"));
}

void MessageClient::OnDeleteOkBtnClicked()
{
    if (!ConfirmDeletion()) {
        return;
    }
    LeaveDeletionMode(false);
    confirmIfDelSel();
    HttpDeleteMsgList(std::vector<int>(DeleteIdList().begin(), DeleteIdList().end()));
}

void MessageClient::SearchDeleteOk()
{
    if (!ConfirmDeletion()) {
        return;
    }
    LeaveDeletionMode(true);
    confirmIfDelSel();
    HttpDeleteMsgList(std::vector<int>(DeleteIdList().begin(), DeleteIdList().end()));
    m_searchBody.pageNo = 1;
    OnGetMsgList(2, m_searchBody);
}

void MessageClient::OnDeleteCancelBtnClicked()
{
    DeleteIdList().clear();
    LeaveDeletionMode(false);
}

void MessageClient::SearchDeleteCancel()
{
    DeleteIdList().clear();
    LeaveDeletionMode(true);
}

void MessageClient::confirmIfDelSel()
{
    if (!DeleteIdList().contains(m_tSelectedMsg.id)) {
        return;
    }
    StopPlaybackOfSelection();
    MC_LOG(3, "MessageClient::confirmIfDelSel", "<%d>\t<%s>,ui.rghtStkWgt->setCurrentWidget(ui.orgPage)");
    m_bDetailShown = 0;
    m_bClipSavable = false;
    UpdateClipSaveButton();
    ui->rghtStkWgt->setCurrentWidget(ui->orgPage);
}

void MessageClient::HttpDeleteMsgList(std::vector<int> list)
{
    if (list.empty()) {
        return;
    }
    Json::Value body;
    body["clientType"] = 4;
    body["ids"] = Json::Value(Json::arrayValue);
    for (int nId : list) {
        body["ids"].append(nId);
    }
    PostPlatformRequest("/api/msg/delete/batch", QStringLiteral("DeleteMsgList"),
                        CPlatformRequest::WriteJson(body), QSsl::TlsV1_2);
}

void MessageClient::OnDeleteMsgListReply(QNetworkReply* reply)
{
    const bool bConfirmed = CListCtrl::IsDeleteConfirmed(reply);
    ShowTip(bConfirmed ? 0 : 1,
            bConfirmed ? QStringLiteral("删除成功") : QStringLiteral("删除失败，请稍后重试"));
    const int nDeleted = DeleteIdList().size();
    DeleteIdList().clear();
    const bool bUnreadTab = ui->resTab->currentIndex() == 1;
    // A larger deletion gets a moment on the platform before the lists ask again.
    const int nDelayMs = nDeleted > 1 ? (bUnreadTab ? m_nBatchDeleteUnreadDelay : m_nBatchDeleteAllDelay) : 0;
    QTimer::singleShot(nDelayMs, this, [this, bUnreadTab] {
        OnUpdateNotReadMsg();
        if (bUnreadTab) {
            m_pNumCurNoReadPage = 1;
            return;
        }
        OnUpdateAllMsg();
        m_pNumCurAllPage = 1;
    });
}

// ---------------------------------------------------------------- camera directory

void MessageClient::HttpGetTopOrg()
{
    PostPlatformRequest("/api/org/tree", QStringLiteral("GetOrg"), CCamDirectory::OrgRequestBody(),
                        QSsl::TlsV1_2);
}

void MessageClient::HttpGetCam(int id, int pageNo, int pageMaxNum, std::string channelName)
{
    PostPlatformRequest("/api/resource/v2/camera/list/page", QStringLiteral("GetCam"),
                        CCamDirectory::CamRequestBody(id, pageNo, pageMaxNum, channelName),
                        QSsl::AnyProtocol);
}

void MessageClient::OnDevInputTextChanged(const QString& /*strText*/)
{
    if (!m_pCamDirectory->HasOrg()) {
        HttpGetTopOrg(); // the search follows the organisation reply
        return;
    }
    const std::string strText = ui->alarmDevInput->text().toLocal8Bit().toStdString();
    if (strText.empty()) {
        ui->popLstWgt->hide();
        return;
    }
    HttpGetCam(m_pCamDirectory->OrgId(), 1, 30, strText);
}

void MessageClient::ParseTopOrgFunc(const std::string& strResult)
{
    std::string strReason;
    if (!m_pCamDirectory->TakeOrgReply(strResult, &strReason)) {
        MC_LOG(5, "MessageClient::ParseTopOrgFunc", "<%d>\t<%s>,organisation reply refused: %s",
               strReason.c_str());
        return;
    }
    HttpGetCam(m_pCamDirectory->OrgId(), 1, 30, ui->alarmDevInput->text().toLocal8Bit().toStdString());
}

void MessageClient::ParseCamFunc(const std::string& strResult)
{
    ui->popLstWgt->Clear();
    std::vector<std::string> cameraNames;
    std::string strReason;
    const bool bParsed = m_pCamDirectory->TakeCamReply(strResult, cameraNames, &strReason);
    if (!strReason.empty()) {
        MC_LOG(5, "MessageClient::ParseCamFunc", "<%d>\t<%s>,camera reply: %s", strReason.c_str());
    }
    if (!bParsed) {
        return;
    }
    QStringList names;
    for (const std::string& strName : cameraNames) {
        names << QString::fromLocal8Bit(strName.c_str());
    }
    if (names.isEmpty()) {
        ui->popLstWgt->hide();
    } else {
        ui->popLstWgt->SetItems(names);
        ui->popLstWgt->resize(220, names.size() < 10 ? 20 * names.size() + 2 : 202);
        ui->popLstWgt->move(ui->alarmDevInput->mapToGlobal(QPoint(0, ui->alarmDevInput->height())));
        ui->popLstWgt->show();
    }
    ui->alarmDevInput->setFocus();
}

void MessageClient::slot_lstSelChg(QString strSel)
{
    if (strSel.isEmpty()) {
        return;
    }
    ui->alarmDevInput->setText(strSel);
    ui->alarmDevInput->setCursorPosition(0);
    QFont font(QStringLiteral("Microsoft Yahei"));
    font.setPixelSize(14);
    const bool bTooWide = QFontMetrics(font).horizontalAdvance(strSel) > ui->alarmDevInput->width();
    ui->alarmDevInput->setToolTip(bTooWide ? strSel : QString());
    ui->popLstWgt->hide();
}

void MessageClient::OnDevComboTextActivated(const QString& /*text*/)
{
    ui->popLstWgt->hide();
}

// Kept for the host, which may call them by name; they have nothing to do.
void MessageClient::GetAllDev() {}

void MessageClient::GetTalvoInfo() {}

// ---------------------------------------------------------------- filter panel

void MessageClient::OnFilterBtnClicked()
{
    ui->leftTabWidget->setCurrentIndex(1);
    m_pFilterBtn->hide();
}

void MessageClient::OnBackMsgListBtnClicked()
{
    if (m_pSearchTimerId != -1) {
        // The operator left the search: its answer must not pull them back.
        DropListRequest(2);
        if (m_pAllMsgTimerId == -1 && m_pNotReadTimerId == -1) {
            m_pLoadingMovie->stop();
        }
    }
    ui->leftTabWidget->setCurrentIndex(0);
    m_pFilterBtn->show();
    m_pCalendarWnd->hide();
    m_pCurMsgList = ui->resTab->currentIndex() == 1 ? m_pNotReadMsgList : m_pAllMsgList;
}

void MessageClient::OpenCalendarFor(QLabel* pLabel)
{
    m_pCalendarLabel = pLabel;
    m_pCalendarWnd->SetDateTime(pLabel->text());
    m_pCalendarWnd->move(QCursor::pos() + QPoint(10, -45));
    m_pCalendarWnd->show();
}

void MessageClient::OnFromCalendarBtnClicked()
{
    OpenCalendarFor(ui->fromTimeLab);
}

void MessageClient::OnToCalendarBtnClicked()
{
    OpenCalendarFor(ui->reachTimeLab);
}

void MessageClient::slotCalendarSet(QString str)
{
    ui->timeSetWarningLab->hide();
    const QDateTime dtChosen = QDateTime::fromString(str, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (dtChosen.isValid() && dtChosen.date() <= QDate::currentDate() && m_pCalendarLabel) {
        m_pCalendarLabel->setText(str);
    }
}

void MessageClient::SetComboChosen(QComboBox* pCombo, int nIndex)
{
    static const QString kTabs(9, QLatin1Char('\t'));
    const QString strStyle =
        QStringLiteral(
            "QComboBox{color: rgb(79, 84, 102);font: 14px \"Microsoft YaHei\";border:none;combobox-popup: "
            "0;}") +
        kTabs + QStringLiteral("QComboBox:focus{color:#4f5466;}") + kTabs +
        QStringLiteral(
            "QComboBox::drop-down{subcontrol-origin:padding;subcontrol-position:center right;width:12px;"
            "height:12px;border:none;}") +
        kTabs + QStringLiteral("QComboBox::down-arrow{image:url(:/Skin/main/icon_down_default.png);}") +
        kTabs + QStringLiteral("QComboBox::down-arrow:hover{image:url(:/Skin/main/icon_down_hover.png);}") +
        kTabs + QStringLiteral("QComboBox::down-arrow:on{image:url(:/Skin/main/icon_up_default.png);}") +
        kTabs + QStringLiteral("QComboBox::down-arrow:on:hover{image:url(:/Skin/main/icon_up_hover.png);}");
    pCombo->setStyleSheet(strStyle);
    pCombo->setCurrentIndex(nIndex);
    ui->leftTabWidget->setFocus();
}

void MessageClient::MsgStatusComboxActivatedSlot(int nIndex)
{
    SetComboChosen(ui->msgStatusCombox, nIndex);
}

void MessageClient::IsEncryptComboxActivatedSlot(int nIndex)
{
    SetComboChosen(ui->isEncryptCombox, nIndex);
}

void MessageClient::OnFilterOkBtnClicked()
{
    static const QString kFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");
    const QDateTime dtFrom = QDateTime::fromString(ui->fromTimeLab->text(), kFormat);
    const QDateTime dtTo = QDateTime::fromString(ui->reachTimeLab->text(), kFormat);
    if (!(dtFrom < dtTo)) {
        ui->timeSetWarningLab->setText(QStringLiteral("开始时间必须小于结束时间"));
        ui->timeSetWarningLab->show();
        return;
    }
    ui->leftTabWidget->setCurrentIndex(2);
    ui->filteringLoadingLab->setMovie(m_pLoadingMovie);
    m_pLoadingMovie->start();
    m_pCalendarWnd->hide();
    const CCamDirectory::CAM_ENTRY device =
        m_pCamDirectory->DeviceFor(ui->alarmDevInput->text().toLocal8Bit().toStdString());
    m_searchBody = CMsgListQuery::Search(
        ui->fromTimeLab->text().toLocal8Bit().toStdString(),
        ui->reachTimeLab->text().toLocal8Bit().toStdString(), ui->msgStatusCombox->currentIndex(),
        ui->isEncryptCombox->currentIndex(), device.deviceSerial, device.channelNo);
    ui->popLstWgt->hide();
    m_strSearchCriteria = SearchCriteriaText();
    OnGetMsgList(2, m_searchBody);
}

void MessageClient::OnFilterResetBtnClicked()
{
    m_pCalendarWnd->hide();
    ResetFilterTimes();
    ui->msgStatusCombox->setCurrentIndex(2);
    ui->isEncryptCombox->setCurrentIndex(2);
    ui->popLstWgt->Clear();
    ui->popLstWgt->hide();
    ui->alarmDevInput->clear();
    ui->timeSetWarningLab->clear();
}

void MessageClient::ResetFilterTimes()
{
    const QString strToday = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    ui->fromTimeLab->setText(strToday + QStringLiteral(" 00:00:00"));
    ui->reachTimeLab->setText(strToday + QStringLiteral(" 23:59:59"));
}
