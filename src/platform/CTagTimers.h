// Timers keyed by request tag: a guarded request of a tag is not sent again
// while its timer runs. Shared by the window and the platform client.
#pragma once

#include <QMap>
#include <QString>

class QObject;

class CTagTimers
{
public:
    explicit CTagTimers(QObject* pOwner, int nDefaultPeriod = 10000);

    // False (and nothing started) while the tag's timer runs; a period of -1
    // is the default period.
    bool Start(const QString& strTag, int nPeriod);
    // True when the tag's timer was running and is now killed.
    bool Stop(const QString& strTag);
    bool IsRunning(const QString& strTag) const;
    // The tag whose timer has this id, or an empty text.
    QString TagOf(int nTimerId) const;
    void SetDefaultPeriod(int nMs) { m_nDefaultPeriod = nMs; }

private:
    QObject* m_pOwner;
    int m_nDefaultPeriod;
    QMap<QString, int> m_mapTagTimer;
};
