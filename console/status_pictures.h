#pragma once

#include <QPixmap>

// The console's two pictures, drawn as vectors at whatever size and pixel ratio they
// are shown, so they stay sharp at 16 px and on scaled screens.
namespace brivane {

enum class Picture { None, Check, Cross };

// A square picture of logicalSize device-independent pixels for a screen with the given
// device pixel ratio. Picture::None gives a null pixmap.
QPixmap DrawPicture(Picture picture, int logicalSize, qreal devicePixelRatio);

}  // namespace brivane
