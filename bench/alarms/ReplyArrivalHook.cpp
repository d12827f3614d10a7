#include "ReplyArrivalHook.h"

#include "BenchClock.h"

#include <QCoreApplication>
#include <QEvent>
#include <QNetworkReply>

#include <memory>

ReplyArrivalHook::ReplyArrivalHook(QStringList tags, QObject* parent)
    : QObject(parent), m_tags(std::move(tags))
{
    QCoreApplication::instance()->installEventFilter(this);
}

ReplyArrivalHook::~ReplyArrivalHook()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

bool ReplyArrivalHook::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MetaCall || m_hooked.contains(watched)) {
        return false;
    }
    auto* reply = qobject_cast<QNetworkReply*>(watched);
    if (!reply) {
        return false;
    }
    const QString tag = reply->request().attribute(QNetworkRequest::User).toString();
    if (m_tags.contains(tag)) {
        hook(reply, tag);
    }
    return false;
}

void ReplyArrivalHook::hook(QNetworkReply* reply, const QString& tag)
{
    // Connected before the call being filtered is delivered, so even a reply
    // whose first queued call carries the headers is caught.
    m_hooked.insert(reply);
    connect(reply, &QObject::destroyed, this, [this, reply] { m_hooked.remove(reply); });
    auto done = std::make_shared<bool>(false);
    auto report = [this, tag, done] {
        if (!*done) {
            *done = true;
            emit arrived(tag, nowMs());
        }
    };
    connect(reply, &QNetworkReply::metaDataChanged, this, report);
    connect(reply, &QNetworkReply::readyRead, this, report);
}
