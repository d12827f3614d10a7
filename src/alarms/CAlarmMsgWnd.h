// One alarm message as a row of a message list: texts, read mark, deletion
// check box and the snapshot, downloaded when plain and decrypted on the
// shared picture pool when the camera encrypts it.
#pragma once

#include "alarms/CPicJob.h"
#include "base/AlarmTypes.h"

#include <QByteArray>
#include <QDialog>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QSize>

#include <memory>
#include <string>

namespace Ui {
class AlarmWnd;
}
class CPicLoad;
class QNetworkAccessManager;
class QNetworkReply;

class CAlarmMsgWnd : public QDialog
{
    Q_OBJECT
public:
    // A row is a window of its own (the window's hidden copy of the selected
    // row, a row on its own) or is made straight inside a list's viewport.
    enum class Place
    {
        Window,
        ListRow
    };
    explicit CAlarmMsgWnd(QWidget* parent = nullptr, Place ePlace = Place::Window);
    ~CAlarmMsgWnd() override;

    // The look of a row's parts. A list carries it once for all its rows, so
    // that a row going in is polished once against sheets parsed once.
    static QString RowStyleSheet();

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
    // The same from a decryption done elsewhere: the picture decoded at any
    // size, the bytes as fetched and as decrypted.
    void SetDecryptedPicture(const QImage& image, const QByteArray& baFetched, const QByteArray& baDecrypted);
    // Decrypts again with a code that worked elsewhere, unless already done.
    void DecodeImage(const std::string& strCode);
    // Starts the picture cycle again (refresh after a failure).
    void LoadPicture();
    void SetTrust(int nTrust) { m_tCurAlarmInfo.nTrust = nTrust; }

    // The whole picture, decoded from its bytes when first asked for (the
    // row shows one decoded straight to its own size).
    QPixmap GetPicture() const;
    // The picture as fetched from the platform: the image file of a plain
    // picture, the still encrypted object of an encrypted one. Empty while
    // the row has no picture.
    QByteArray GetPicBytes() const { return m_baPicBytes; }
    // The image file decrypted from an encrypted picture; empty when the
    // picture is plain or not decrypted.
    QByteArray GetDecryptedPicBytes() const { return m_baDecrypted; }
    bool IsDecrypted() const { return m_bDecrypted; }
    bool IsPicReqFinished() const { return m_bPicReqFinished; }
    bool HasPic() const { return m_bHasPic; }
    bool IsPicOverdue() const { return m_bPicOverdue; }
    bool IsPicFailed() const { return m_bPicFailed; }

    void ParseCamInfo(const QByteArray& body);

    // Closes the idle connections the rows kept open (the window going away).
    static void ReleaseSharedConnections();
    // One manager for every row and picture load: a page then shares
    // connections and TLS sessions instead of opening one of each per row.
    static QNetworkAccessManager* SharedManager();

    // The picture loads the rows of these records will start, for a list to
    // park before it makes the rows (CPicLoad::Park).
    static std::vector<CPicRequest> PicRequestsOf(const std::vector<ALARM_INFO_STRUCT>& records);
    // The load of a message's picture as a row asks for it, with that code.
    static CPicRequest PicRequestFor(const ALARM_INFO_STRUCT& record, const std::string& strCode);

    static constexpr QSize kPicLabSize{101, 57};

    void setVisible(bool bVisible) override;

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

    static QSize ShownPicSize();
    void StartLoad(bool bEncrypted);
    void DropLoad();
    void OnLoadFinished(CPicLoad* pLoad);
    void OnDecryptFinished(const CPicResult& result);
    void OnDecryptFailed(const CPicResult& result);
    void OnPlainFinished(const CPicResult& result);
    void OnPicReplyError(int nNetError);
    void FailPicture();
    void ShowShown(const QImage& imgShown);
    void KeepPicture(const QByteArray& baFetched, const QByteArray& baDecrypted);
    void ForgetPicture();
    void PostCamInfo();

    std::unique_ptr<Ui::AlarmWnd> m_pUi;
    ALARM_INFO_STRUCT m_tCurAlarmInfo;
    QNetworkAccessManager* m_pManager = nullptr; // shared by all rows
    QPointer<QNetworkReply> m_pCamInfoReply;
    QPointer<CPicLoad> m_pLoad; // the picture load under way; a later one replaces it
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
    QByteArray m_baPicBytes;      // as fetched
    QByteArray m_baDecrypted;     // an encrypted picture, decrypted
    mutable QPixmap m_pixPicture; // whole, decoded when asked for
    // A decryption's result on its way through UpdatePicSignal.
    QImage m_imgPendingShown;
    QByteArray m_baPendingFetched;
};
