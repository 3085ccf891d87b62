// The picture on the left of the about box, the password window and the update dialog: the
// program's emblem drawn at the requested size (no image files to lose).
#pragma once

#include <QPixmap>
#include <QSize>

class QLabel;

QPixmap WindowPicture(QSize size);
// A label of exactly `size` showing the picture, named "图片" for accessibility tools.
QLabel* PictureLabel(QSize size);
