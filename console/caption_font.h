#pragma once

#include <QFont>
#include <QString>
#include <vector>

class QPaintDevice;

// The window's controls have fixed sizes in twips, so their font is made to fit
// them: the desktop's own font, or a little smaller where a caption would be cut.
namespace brivane {

struct Caption {
  QString text;
  int width = 0;  // pixels available for the text
};

// The largest size of base, down to a readable minimum, at which every caption fits.
QFont FittedFont(const QFont& base, const std::vector<Caption>& captions,
                 const QPaintDevice* device);

}  // namespace brivane
