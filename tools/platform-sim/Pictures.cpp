#include "Pictures.h"

#include <QBuffer>
#include <QDateTime>
#include <QFont>
#include <QImage>
#include <QPainter>

namespace {

std::string toJpeg(const QImage& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return bytes.toStdString();
}

QString timeText(int64_t ms, bool withMs)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(withMs ? QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")
                                                              : QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QColor tint(const std::string& seed)
{
    uint h = qHash(QByteArray::fromStdString(seed));
    return QColor::fromHsv(static_cast<int>(h % 360), 90, 120);
}

} // namespace

namespace Pictures {

std::string snapshot(const std::string& cameraName, const std::string& alarmType, int64_t alarmTimeMs)
{
    QImage image(640, 360, QImage::Format_RGB32);
    QColor base = tint(cameraName);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, 360);
    sky.setColorAt(0, base.lighter(150));
    sky.setColorAt(1, base.darker(180));
    p.fillRect(image.rect(), sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 40));
    int x = static_cast<int>((alarmTimeMs / 1000) % 480);
    p.drawRect(x, 160, 120, 150);
    p.setBrush(QColor(255, 80, 80, 180));
    p.drawEllipse(QPoint(x + 60, 140), 22, 22);
    QFont font(QStringLiteral("WenQuanYi Micro Hei"), 22);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(20, 16, 600, 40), Qt::AlignLeft, QString::fromStdString(cameraName));
    font.setPointSize(16);
    p.setFont(font);
    p.drawText(QRect(20, 60, 600, 30), Qt::AlignLeft, QString::fromStdString(alarmType));
    p.drawText(QRect(20, 310, 600, 36), Qt::AlignLeft, timeText(alarmTimeMs, false));
    p.end();
    return toJpeg(image, 80);
}

std::string frame(const std::string& channelName, int64_t onScreenMs)
{
    QImage image(320, 180, QImage::Format_RGB32);
    QColor base = tint(channelName);
    QPainter p(&image);
    p.fillRect(image.rect(), base.darker(140));
    p.setPen(Qt::NoPen);
    p.setBrush(base.lighter(160));
    // A block that crosses the picture every ten seconds shows that the video moves.
    int x = static_cast<int>((onScreenMs % 10000) * 300 / 10000);
    p.drawRect(x, 70, 20, 50);
    QFont font(QStringLiteral("WenQuanYi Micro Hei"), 11);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(8, 6, 304, 24), Qt::AlignLeft, QString::fromStdString(channelName));
    p.drawText(QRect(8, 150, 304, 24), Qt::AlignLeft, timeText(onScreenMs, true));
    p.end();
    return toJpeg(image, 70);
}

} // namespace Pictures
