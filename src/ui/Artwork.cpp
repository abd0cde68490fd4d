// Tavix CallerID: the program's pictures: logo, line lamps and application icon.
#include "ui/Artwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>

namespace Artwork {
namespace {

const QColor kBrandBlue(0x1f, 0x5f, 0xa8);
const QColor kBrandBlueLight(0x3a, 0x8d, 0xde);
const QColor kLampGreen(0x2e, 0xc4, 0x3c);

// A telephone handset in a 100 x 100 box: earpiece at the top left, mouthpiece at the bottom
// right, the grip curving between them.
QPainterPath handset()
{
    QPainterPath grip;
    grip.moveTo(24, 30);
    grip.cubicTo(22, 52, 48, 78, 70, 76);
    QPainterPathStroker stroker;
    stroker.setWidth(17);
    stroker.setCapStyle(Qt::RoundCap);
    QPainterPath path = stroker.createStroke(grip);

    QPainterPath cups;
    cups.addRoundedRect(QRectF(-14, -9, 28, 18), 7, 7);
    QTransform ear;
    ear.translate(27, 22).rotate(-40);
    QTransform mouth;
    mouth.translate(78, 73).rotate(-50);
    path = path.united(ear.map(cups)).united(mouth.map(cups));
    return path.simplified();
}

void fillHandset(QPainter& painter, const QRectF& box, const QBrush& brush)
{
    painter.save();
    painter.translate(box.topLeft());
    painter.scale(box.width() / 100.0, box.height() / 100.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(brush);
    painter.drawPath(handset());
    painter.restore();
}

QImage transparentImage(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

} // namespace

QPixmap logo()
{
    QImage image = transparentImage(kLogoWidth, kLogoHeight);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    // The handset on a blue disc, then the name beside it.
    const QRectF disc(4, 6, 48, 48);
    QLinearGradient blue(disc.topLeft(), disc.bottomRight());
    blue.setColorAt(0, kBrandBlueLight);
    blue.setColorAt(1, kBrandBlue);
    painter.setPen(Qt::NoPen);
    painter.setBrush(blue);
    painter.drawEllipse(disc);
    fillHandset(painter, disc.adjusted(11, 11, -11, -11), Qt::white);

    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(38);
    font.setBold(true);
    QPainterPath word;
    word.addText(0, 0, font, QStringLiteral("Tavix"));
    const QRectF bounds = word.boundingRect();
    const QRectF room(58, 6, kLogoWidth - 60, 48);
    const qreal scale = std::min(room.width() / bounds.width(), room.height() / bounds.height());
    painter.translate(room.left(), room.center().y());
    painter.scale(scale, scale);
    painter.translate(-bounds.left(), -bounds.center().y());
    painter.setBrush(kBrandBlue);
    painter.drawPath(word);
    painter.end();
    return QPixmap::fromImage(image);
}

QPixmap lamp(bool lit)
{
    QImage image = transparentImage(kLampWidth, kLampHeight);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF body(1.5, 2, 27, 27);
    QRadialGradient glass(body.center() - QPointF(4, 5), body.width() * 0.7);
    if (lit) {
        glass.setColorAt(0, QColor(0xc8, 0xff, 0xc0));
        glass.setColorAt(0.45, kLampGreen);
        glass.setColorAt(1, QColor(0x0b, 0x6b, 0x17));
    } else {
        glass.setColorAt(0, QColor(0xe4, 0xe4, 0xe4));
        glass.setColorAt(0.45, QColor(0xa6, 0xa6, 0xa6));
        glass.setColorAt(1, QColor(0x5e, 0x5e, 0x5e));
    }
    painter.setPen(QPen(QColor(0x3c, 0x3c, 0x3c), 1.2));
    painter.setBrush(glass);
    painter.drawEllipse(body);

    // A small reflection makes it read as a lamp rather than a dot.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, lit ? 170 : 120));
    painter.drawEllipse(QRectF(8, 7, 8, 5));
    painter.end();
    return QPixmap::fromImage(image);
}

QImage applicationIconImage(int size)
{
    QImage image = transparentImage(size, size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 256.0, size / 256.0);

    const QRectF tile(8, 8, 240, 240);
    QLinearGradient blue(tile.topLeft(), tile.bottomLeft());
    blue.setColorAt(0, kBrandBlueLight);
    blue.setColorAt(1, kBrandBlue);
    painter.setPen(Qt::NoPen);
    painter.setBrush(blue);
    painter.drawRoundedRect(tile, 48, 48);
    fillHandset(painter, QRectF(40, 52, 164, 164), Qt::white);

    // The lit lamp of the main window, where the small sizes still leave room for it.
    if (size >= 24) {
        painter.setBrush(Qt::white);
        painter.drawEllipse(QPointF(192, 64), 38, 38);
        painter.setBrush(kLampGreen);
        painter.drawEllipse(QPointF(192, 64), 28, 28);
    }
    painter.end();
    return image;
}

} // namespace Artwork
