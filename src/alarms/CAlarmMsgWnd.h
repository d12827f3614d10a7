// One alarm message as a row of a message list: texts, read mark, deletion
// check box and the snapshot, downloaded when plain and decrypted on the
// shared picture pool when the camera encrypts it.
#pragma once

#include "alarms/AlarmTypes.h"
#include "alarms/CPicDecryptJob.h"

#include <QDialog>
#include <QNetworkRequest>
#include <QPixmap>
#include <QPointer>

#include <memory>
#include <string>

namespace Ui {
class AlarmWnd;
}
class QNetworkAccessManager;
class QNetworkReply;

class CAlarmMsgWnd : public QDialog
{
    Q_OBJECT
public:
    explicit CAlarmMsgWnd(QWidget* parent = nullptr);
    ~CAlarmMsgWnd() override;

    void SetAlarmInfo(ALARM_INFO_STRUCT tAlarmInfo);
    const ALARM_INFO_STRUCT& GetAlarmInfo() const { return m_tCurAlarmInfo; }
    int GetMsgId() const { return m_tCurAlarmInfo.id; }

    // Deletion mode: hiding the check box also unticks it.
    void SetCheckBoxVisible(bool bVisible);
    // Ticking keeps DeleteIdList in step and reports with sigMsgToDelete.
    void SetChecked(bool bChecked);
    bool IsChecked() const { return m_bChecked; }

    bool IsRead() const { return m_bRead; }
    void SetRead();

    void SetWndSelected(bool bSelected);
    bool IsWndSelected() const { return m_bSelected; }

    // The window's hidden copy of the selected row takes over its state.
    void CopyFrom(const CAlarmMsgWnd* pOther);

    void SetPicCode(const std::string& strCode) { m_strPicCode = strCode; }
    const std::string& GetPicCode() const { return m_strPicCode; }
    // A picture decrypted elsewhere (the detail page) shown here.
    void SetPicture(const QPixmap& pixmap);
    // Decrypts again with a code that worked elsewhere, unless already done.
    void DecodeImage(const std::string& strCode);
    // Starts the picture cycle again (refresh after a failure).
    void LoadPicture();
    void SetTrust(int nTrust) { m_tCurAlarmInfo.nTrust = nTrust; }

    QPixmap GetPicture() const { return m_pixPicture; }
    bool IsDecrypted() const { return m_bDecrypted; }
    bool IsPicReqFinished() const { return m_bPicReqFinished; }
    bool HasPic() const { return m_bHasPic; }
    bool IsPicOverdue() const { return m_bPicOverdue; }
    bool IsPicFailed() const { return m_bPicFailed; }

    void ParseCamInfo(const QByteArray& body);

    // Closes the idle connections the rows kept open (the window going away).
    static void ReleaseSharedConnections();

    static constexpr int kMaxRedirects = 5;

signals:
    void UpdatePicSignal(char* puf, int len);
    void sigRefeshUpdateMainMaxInfo();
    void sigAcesLosEff();
    void sigMsgToDelete();
    void sigMsgPicUpdate(int id, int bSuc);
    void sigCamInfoUpdate(QString strDevserial, int nChannelNo, int nTrust);

private slots:
    void ReplyPicFinished(QNetworkReply* reply);
    void OnUpdatePicSlot(char* puf, int len);
    void OnDelSelectedClicked(bool bChecked);

private:
    static QNetworkAccessManager* SharedManager();
    void WatchReply(QNetworkReply* reply);

    enum PicStyle
    {
        PicLoading,
        PicEncrypted,
        PicFailed,
        PicOverdue
    };

    void ShowTexts();
    void SetPicStyle(PicStyle eStyle);
    void ShowPixmap(const QPixmap& pixmap);
    void ReportPic(int nSuc);
    std::string ChooseToken() const;

    void GetPlainPicture();
    void StartDecrypt();
    void OnDecryptFinished(const CPicDecryptResult& result);
    void OnDecryptFailed(const CPicDecryptResult& result);
    void OnPicReplyFinished(QNetworkReply* reply);
    void OnPicReplyError(QNetworkReply* reply);
    void OnPicLoaded(const QByteArray& data);
    void FailPicture();
    void SendPicRequest();
    void DropPicRequest();
    void PostCamInfo();

    std::unique_ptr<Ui::AlarmWnd> m_pUi;
    ALARM_INFO_STRUCT m_tCurAlarmInfo;
    QNetworkAccessManager* m_pManager = nullptr; // shared by all rows
    QPointer<QNetworkReply> m_pCamInfoReply;
    QNetworkRequest m_picRequest;
    QPointer<QNetworkReply> m_pPicReply; // the download in flight; older ones are dropped
    int m_nRedirects = 0;
    bool m_bRead = false;
    bool m_bChecked = false;
    std::string m_strPicCode;
    bool m_bDecrypted = false;
    std::string m_strAesKey;
    std::string m_strToken;
    bool m_bPicReqFinished = false;
    bool m_bHasPic = false;
    bool m_bPicOverdue = false;
    bool m_bPicFailed = false;
    bool m_bPicFailedBefore = false;
    bool m_bSelected = false;
    QPixmap m_pixPicture;

    // Each load gets a generation; a late result of an older one is dropped.
    int m_nPicGeneration = 0;
    std::shared_ptr<CPicDecryptJob::CReceiver> m_pReceiver;
};
