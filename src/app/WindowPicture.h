// The picture on the left of the about box, the password window and the update dialog: the
// program's emblem drawn at the requested size (no image files to lose).
#pragma once

#include <QPixmap>
#include <QSize>

QPixmap WindowPicture(QSize size);
