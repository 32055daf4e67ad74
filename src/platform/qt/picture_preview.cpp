#include "platform/qt/picture_preview.h"

#include <sys/stat.h>

#include <QPainter>

#include "app/file_list.h"
#include "app/loader.h"
#include "formats/tbitmap.h"
#include "platform/qt/clipboard_host.h"

namespace quendra::qt {

namespace {

// The file loaded exactly as the viewer fits it into an area of this size.
QImage LoadFitted(const std::string& path, int width, int height) {
  struct stat st;
  if (width <= 0 || height <= 0 || !IsPictureFile(path) || ::stat(path.c_str(), &st) != 0 ||
      !S_ISREG(st.st_mode))
    return QImage();
  try {
    TZoomer zoomer;
    zoomer.SetClientSize(width, height);
    zoomer.SetCenter(true);
    zoomer.SetStretch(true);
    zoomer.SetProportional(true);
    LoadIntoZoomer(zoomer, path);
    return ToQImage(zoomer.Picture().AsBitmap().Image());
  } catch (...) {
    return QImage();  // not a picture we can read: no preview
  }
}

}  // namespace

PicturePreview::PicturePreview(QWidget* parent) : QWidget(parent) {
  setMinimumSize(180, 180);
  worker_ = std::thread([this] { Run(); });
}

PicturePreview::~PicturePreview() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  worker_.join();
}

void PicturePreview::ShowFile(const std::string& path) {
  path_ = path;
  {
    std::lock_guard lock(mutex_);
    requestPath_ = path;
    requestWidth_ = width();
    requestHeight_ = height();
    ++requested_;
  }
  wake_.notify_one();
}

void PicturePreview::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stop_ || taken_ != requested_; });
    if (stop_) return;
    taken_ = requested_;
    const uint64_t generation = taken_;
    const std::string path = requestPath_;
    const int w = requestWidth_, h = requestHeight_;
    lock.unlock();
    QImage image = LoadFitted(path, w, h);
    // Queued to the main thread; dropped by Qt if the preview is gone by then.
    QMetaObject::invokeMethod(
        this, [this, generation, image = std::move(image)] { Deliver(generation, image); },
        Qt::QueuedConnection);
    lock.lock();
  }
}

void PicturePreview::Deliver(uint64_t generation, QImage image) {
  {
    std::lock_guard lock(mutex_);
    if (generation != requested_) return;  // a newer request is on its way
  }
  shown_ = std::move(image);
  ++answered_;
  update();
  emit Updated();
}

void PicturePreview::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  if (shown_.isNull()) return;
  QRect r(QPoint(0, 0), shown_.size());
  r.moveCenter(rect().center());
  p.drawImage(r.topLeft(), shown_);
}

void PicturePreview::resizeEvent(QResizeEvent*) {
  if (!path_.empty()) ShowFile(path_);
}

}  // namespace quendra::qt
