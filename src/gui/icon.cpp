#include "gui/icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace vesk::gui {

QImage DrawVeskIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);  // drawn on a 64 x 64 grid

  // Sky-blue tile, the window's colour.
  QLinearGradient tile(0, 0, 0, 64);
  tile.setColorAt(0, QColor(0xC4, 0xDD, 0xF6));
  tile.setColorAt(1, QColor(0xA6, 0xCA, 0xF0));
  p.setPen(QPen(QColor(0x5A, 0x86, 0xB8), 1.5));
  p.setBrush(tile);
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

  // Padlock: shackle, body, and an aqua keyhole like the brand label.
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(0x1F, 0x3A, 0x68), 6, Qt::SolidLine, Qt::FlatCap));
  QPainterPath shackle;
  shackle.moveTo(21, 31);
  shackle.lineTo(21, 23);
  shackle.arcTo(QRectF(21, 11, 22, 24), 180, -180);
  shackle.lineTo(43, 31);
  p.drawPath(shackle);

  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x1F, 0x3A, 0x68));
  p.drawRoundedRect(QRectF(13, 29, 38, 27), 5, 5);

  p.setBrush(QColor(0x00, 0xFF, 0xFF));
  p.drawEllipse(QPointF(32, 39), 4.5, 4.5);
  QPainterPath slot;
  slot.moveTo(29.5, 40);
  slot.lineTo(34.5, 40);
  slot.lineTo(35.5, 50);
  slot.lineTo(28.5, 50);
  slot.closeSubpath();
  p.drawPath(slot);
  return image;
}

QIcon VeskIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(QPixmap::fromImage(DrawVeskIcon(size)));
  return icon;
}

}  // namespace vesk::gui
