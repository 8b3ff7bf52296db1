#include "app/pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace app {

namespace {

const QColor kBlue(32, 94, 160);
const QColor kGreen(46, 139, 87);
const QColor kRed(192, 48, 48);
const QColor kAmber(214, 150, 30);
const QColor kGrey(90, 90, 90);

// Everything is drawn on a 32 by 32 grid and scaled to the requested size.
void draw(QPainter &p, Picture picture)
{
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(kGrey, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (picture) {
    case Picture::SelectFolder: {
        p.setPen(QPen(kAmber.darker(130), 1.5));
        p.setBrush(kAmber);
        QPainterPath folder;
        folder.moveTo(3, 9);
        folder.lineTo(12, 9);
        folder.lineTo(14, 12);
        folder.lineTo(29, 12);
        folder.lineTo(29, 26);
        folder.lineTo(3, 26);
        folder.closeSubpath();
        p.drawPath(folder);
        p.setBrush(kAmber.lighter(125));
        p.drawRect(QRectF(3, 15, 26, 11));
        break;
    }
    case Picture::Start: {
        p.setPen(Qt::NoPen);
        p.setBrush(kGreen);
        p.drawEllipse(QRectF(2, 2, 28, 28));
        p.setBrush(Qt::white);
        const QPointF play[] = { { 12, 9 }, { 24, 16 }, { 12, 23 } };
        p.drawPolygon(play, 3);
        break;
    }
    case Picture::Stop:
        p.setPen(Qt::NoPen);
        p.setBrush(kRed);
        p.drawEllipse(QRectF(2, 2, 28, 28));
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(10.5, 10.5, 11, 11), 1.5, 1.5);
        break;
    case Picture::About:
    case Picture::Information:
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawEllipse(QRectF(2, 2, 28, 28));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(14, 7, 4, 4));
        p.drawRoundedRect(QRectF(14, 13, 4, 12), 1.5, 1.5);
        break;
    case Picture::Help:
    case Picture::Question: {
        p.setPen(Qt::NoPen);
        p.setBrush(picture == Picture::Help ? kGreen : kAmber);
        p.drawEllipse(QRectF(2, 2, 28, 28));
        QPen mark(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.setPen(mark);
        p.setBrush(Qt::NoBrush);
        QPainterPath hook;
        hook.moveTo(11.5, 12);
        hook.cubicTo(11.5, 6, 20.5, 6, 20.5, 12);
        hook.cubicTo(20.5, 15.5, 16, 15.5, 16, 19.5);
        p.drawPath(hook);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(14, 22, 4, 4));
        break;
    }
    case Picture::Update: {
        pen.setColor(kBlue);
        pen.setWidthF(3);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(6, 6, 20, 20), 30 * 16, 280 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        const QPointF head[] = { { 21, 4 }, { 28, 11 }, { 19, 13 } };
        p.drawPolygon(head, 3);
        break;
    }
    case Picture::ViewLogs:
        p.setPen(QPen(kGrey, 1.5));
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(6, 3, 20, 26), 2, 2);
        p.setPen(QPen(kBlue, 2, Qt::SolidLine, Qt::RoundCap));
        for (int y = 9; y <= 23; y += 4) {
            p.drawLine(QPointF(10, y), QPointF(y == 23 ? 17 : 22, y));
        }
        break;
    case Picture::Minimize:
        p.setPen(pen);
        p.drawLine(QPointF(8, 22), QPointF(24, 22));
        break;
    case Picture::Close:
        pen.setColor(kRed);
        p.setPen(pen);
        p.drawLine(QPointF(9, 9), QPointF(23, 23));
        p.drawLine(QPointF(23, 9), QPointF(9, 23));
        break;
    case Picture::Completed: {
        p.setPen(Qt::NoPen);
        p.setBrush(kGreen);
        p.drawEllipse(QRectF(2, 2, 28, 28));
        QPen tick(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.setPen(tick);
        p.setBrush(Qt::NoBrush);
        const QPointF points[] = { { 9, 16.5 }, { 14, 21.5 }, { 23, 11 } };
        p.drawPolyline(points, 3);
        break;
    }
    }
}

} // namespace

QPixmap picturePixmap(Picture picture, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.scale(size / 32.0, size / 32.0);
    draw(painter, picture);
    return pixmap;
}

QIcon pictureIcon(Picture picture)
{
    QIcon icon;
    for (int size : { 16, 24, 32, 48 }) {
        icon.addPixmap(picturePixmap(picture, size));
    }
    return icon;
}

} // namespace app
