// The process-wide platform client: requests outside the window's own
// (usage log, its own token refresh) go through it.
#pragma once

#include <QObject>
#include <QString>

class CHttpClient : public QObject
{
    Q_OBJECT
public:
    static CHttpClient* instance();

    QString m_strDcLogUrl;
    QString m_strCmDclogUrl;

private:
    CHttpClient() = default;
};
