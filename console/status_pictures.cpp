#include "console/status_pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <cmath>

namespace brivane {
namespace {

const QColor kCheckGreen(0x1e, 0x9e, 0x3a);
const QColor kCheckOutline(0x0f, 0x5e, 0x20);
const QColor kCrossRed(0xd6, 0x28, 0x28);
const QColor kCrossOutline(0x7a, 0x10, 0x10);

// The shapes are laid out on a 16 x 16 grid and scaled to the size asked for.
void DrawStroke(QPainter& painter, const QPainterPath& path, const QColor& fill,
                const QColor& outline) {
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(outline, 3.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(path);
  painter.setPen(QPen(fill, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(path);
}

void DrawCheck(QPainter& painter) {
  QPainterPath path;
  path.moveTo(3.0, 8.5);
  path.lineTo(6.5, 12.0);
  path.lineTo(13.0, 4.0);
  DrawStroke(painter, path, kCheckGreen, kCheckOutline);
}

void DrawCross(QPainter& painter) {
  QPainterPath path;
  path.moveTo(4.0, 4.0);
  path.lineTo(12.0, 12.0);
  path.moveTo(12.0, 4.0);
  path.lineTo(4.0, 12.0);
  DrawStroke(painter, path, kCrossRed, kCrossOutline);
}

}  // namespace

QPixmap DrawPicture(Picture picture, int logicalSize, qreal devicePixelRatio) {
  if (picture == Picture::None || logicalSize <= 0) {
    return {};
  }
  const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
  const int devicePixels = static_cast<int>(std::ceil(logicalSize * ratio));
  QPixmap pixmap(devicePixels, devicePixels);
  pixmap.fill(Qt::transparent);
  pixmap.setDevicePixelRatio(ratio);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(logicalSize / 16.0, logicalSize / 16.0);
  if (picture == Picture::Check) {
    DrawCheck(painter);
  } else {
    DrawCross(painter);
  }
  return pixmap;
}

}  // namespace brivane
