// Timestamps the arrival of replies whose request carries one of the given
// tags (the platform requests' QNetworkRequest::User attribute): the moment
// their headers reach the GUI thread, before the window's own handling starts.
// The window's network manager is private, so the hook watches the queued
// calls every reply gets from the network thread instead.
#pragma once

#include <QObject>
#include <QSet>
#include <QStringList>

class QNetworkReply;

class ReplyArrivalHook : public QObject
{
    Q_OBJECT
public:
    explicit ReplyArrivalHook(QStringList tags, QObject* parent = nullptr);
    ~ReplyArrivalHook() override;

signals:
    // atMs on the nowMs() clock; once per reply.
    void arrived(const QString& tag, double atMs);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void hook(QNetworkReply* reply, const QString& tag);

    QStringList m_tags;
    QSet<QObject*> m_hooked;
};
