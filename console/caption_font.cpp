#include "console/caption_font.h"

#include <QFontMetricsF>

namespace brivane {
namespace {

constexpr qreal kSmallestPointSize = 6.0;
constexpr qreal kStep = 0.5;

bool AllFit(const QFont& font, const std::vector<Caption>& captions, const QPaintDevice* device) {
  const QFontMetricsF metrics(font, device);
  for (const Caption& caption : captions) {
    if (metrics.horizontalAdvance(caption.text) > caption.width) {
      return false;
    }
  }
  return true;
}

}  // namespace

QFont FittedFont(const QFont& base, const std::vector<Caption>& captions,
                 const QPaintDevice* device) {
  QFont font = base;
  if (font.pointSizeF() <= 0) {
    return font;  // sized in pixels by the desktop: leave it as it is
  }
  while (font.pointSizeF() - kStep >= kSmallestPointSize && !AllFit(font, captions, device)) {
    font.setPointSizeF(font.pointSizeF() - kStep);
  }
  return font;
}

}  // namespace brivane
