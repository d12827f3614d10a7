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

std::string frame(const std::string& channelName, int64_t onScreenMs, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QColor base = tint(channelName);
    QPainter p(&image);
    // Drawn on a 320x180 plane whatever the size, so every size shows the same scene.
    p.scale(width / 320.0, height / 180.0);
    QLinearGradient ground(0, 0, 320, 180);
    ground.setColorAt(0, base.darker(170));
    ground.setColorAt(1, base.darker(110));
    p.fillRect(QRect(0, 0, 320, 180), ground);
    // A still scene with detail (a wall of windows), so frames cost what real ones do to code and decode.
    p.setPen(Qt::NoPen);
    for (int row = 0; row < 12; ++row) {
        for (int col = 0; col < 40; ++col) {
            const uint shade = (static_cast<uint>(row) * 7919u + static_cast<uint>(col) * 104729u) % 97u;
            p.setBrush(base.lighter(70 + static_cast<int>(shade)));
            p.drawRect(QRectF(col * 8 + 1, 30 + row * 9, 6, 7));
        }
    }
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
