#include "app/WindowPicture.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

QPixmap WindowPicture(QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(0.5, 0.5, size.width() - 1.0, size.height() - 1.0);

    QLinearGradient back(r.topLeft(), r.bottomRight());
    back.setColorAt(0, QColor(0x2b, 0x5f, 0x9e));
    back.setColorAt(1, QColor(0x12, 0x2a, 0x4a));
    p.setPen(QPen(QColor(0x0c, 0x1c, 0x33), 1));
    p.setBrush(back);
    p.drawRoundedRect(r, 8, 8);

    // A film strip: a band with sprocket holes above and below.
    const qreal band = r.height() * 0.34;
    const QRectF strip(r.left() + 8, r.center().y() - band / 2, r.width() - 16, band);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x0a, 0x0a, 0x0a, 200));
    p.drawRect(strip);
    p.setBrush(QColor(0xf2, 0xf2, 0xf2));
    const qreal hole = band * 0.14;
    for (qreal x = strip.left() + hole; x + hole < strip.right(); x += hole * 2.2) {
        p.drawRect(QRectF(x, strip.top() + hole * 0.5, hole, hole));
        p.drawRect(QRectF(x, strip.bottom() - hole * 1.5, hole, hole));
    }
    // A play arrow turning into a second frame: conversion.
    QPainterPath arrow;
    const QPointF c = strip.center();
    const qreal a = band * 0.28;
    arrow.moveTo(c.x() - a, c.y() - a);
    arrow.lineTo(c.x() + a, c.y());
    arrow.lineTo(c.x() - a, c.y() + a);
    arrow.closeSubpath();
    p.setBrush(QColor(0xf5, 0xa6, 0x23));
    p.drawPath(arrow);
    return pixmap;
}

QLabel* PictureLabel(QSize size) {
    auto* label = new QLabel;
    label->setPixmap(WindowPicture(size));
    label->setFixedSize(size);
    label->setAccessibleName(QString::fromUtf8("图片"));
    return label;
}
