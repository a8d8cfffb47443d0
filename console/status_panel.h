#pragma once

#include <QLabel>
#include <QWidget>

#include "console/status_pictures.h"

// One panel of the console's status bar: a picture followed by a text.
namespace brivane {

class StatusPanel : public QWidget {
  Q_OBJECT

 public:
  explicit StatusPanel(const QString& text, QWidget* parent = nullptr);

  QString Text() const { return text_->text(); }
  Picture CurrentPicture() const { return picture_; }

  // Each call redraws the panel, whether or not the value differs.
  void SetText(const QString& text);
  void SetPicture(Picture picture);

  // Size of the picture in device-independent pixels; redraws it for the current screen.
  void SetPictureSize(int logicalSize);

 signals:
  // Emitted on every write, so callers can tell a redraw from no change.
  void written();

 private:
  void RenderPicture();

  QLabel* image_;
  QLabel* text_;
  Picture picture_ = Picture::None;
  int pictureSize_ = 16;
};

}  // namespace brivane
