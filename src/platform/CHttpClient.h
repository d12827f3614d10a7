// The process-wide platform client: the usage-log upload and a token refresh
// of its own, on its own network manager and guard timers.
#pragma once

#include "platform/CTagTimers.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QString>

class QNetworkReply;

class CHttpClient : public QObject
{
    Q_OBJECT
public:
    // Created on first use on the GUI thread; lives as long as the application.
    static CHttpClient* instance();

    bool startTime(const QString& strTag, int nPeriod);
    void stopTime(const QString& strTag, bool bTimedOut, const QString& strError);

    void RefreshToken();
    void HttpUpLoadDcLog(QString strContent, QString strType);

    QString m_strDcLogUrl;
    QString m_strCmDclogUrl;

signals:
    void sigUpdateToken(QString strToken, QString strRefreshToken);
    void sigRemoteLogin(QString result);
    void GetUserErrSignal();

protected:
    void timerEvent(QTimerEvent* event) override;

private slots:
    void serviceRequestFinished(QNetworkReply* reply);

private:
    explicit CHttpClient(QObject* parent);
    void OnRefreshTokenReply(QNetworkReply* reply);
    void OnUnauthorizedReply(QNetworkReply* reply);

    QNetworkAccessManager m_networkManager;
    CTagTimers m_tagTimers;
    int m_nRefreshRejections = 0;
};
