#include "console/status_panel.h"

#include <QHBoxLayout>

namespace brivane {

StatusPanel::StatusPanel(const QString& text, QWidget* parent)
    : QWidget(parent), image_(new QLabel(this)), text_(new QLabel(text, this)) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(2, 0, 4, 0);
  layout->setSpacing(3);
  layout->addWidget(image_);
  layout->addWidget(text_, 1);
  text_->setTextFormat(Qt::PlainText);
  image_->setFixedSize(pictureSize_, pictureSize_);
  image_->hide();
}

void StatusPanel::SetText(const QString& text) {
  text_->setText(text);
  emit written();
}

void StatusPanel::SetPicture(Picture picture) {
  picture_ = picture;
  RenderPicture();
  emit written();
}

void StatusPanel::SetPictureSize(int logicalSize) {
  pictureSize_ = logicalSize;
  image_->setFixedSize(logicalSize, logicalSize);
  RenderPicture();
}

void StatusPanel::RenderPicture() {
  image_->setPixmap(DrawPicture(picture_, pictureSize_, devicePixelRatioF()));
  image_->setVisible(picture_ != Picture::None);
}

}  // namespace brivane
