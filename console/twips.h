#pragma once

// Places in the window are given in twips, 1440 to the inch, and drawn at the screen's
// logical resolution, so the window keeps its proportions at any scaling.
namespace brivane {

inline constexpr int kTwipsPerInch = 1440;

// Pixels for a length in twips at dotsPerInch, rounded to the nearest pixel.
int TwipsToPixels(int twips, double dotsPerInch);

// A control's place in twips: left, top, width, height.
struct TwipsRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

}  // namespace brivane
