#pragma once
// The save dialog's preview: the selected file shown fitted, loaded through the viewer's own
// format table on a worker thread, so that selecting a large picture never stalls typing.
#include <QImage>
#include <QWidget>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace quendra::qt {

class PicturePreview : public QWidget {
  Q_OBJECT
 public:
  explicit PicturePreview(QWidget* parent = nullptr);
  // Joins the worker (after the load in progress, if any).
  ~PicturePreview() override;

  // Shows the file at path (UTF-8 bytes); anything that is not a readable picture file shows
  // nothing. A newer request replaces one that has not started.
  void ShowFile(const std::string& path);

  // For tests: the picture shown now, and the number of requests answered so far.
  const QImage& Shown() const { return shown_; }
  uint64_t Answered() const { return answered_; }

 signals:
  void Updated();

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;

 private:
  void Run();
  void Deliver(uint64_t generation, QImage image);

  std::string path_;  // main thread: the file asked for last
  QImage shown_;
  uint64_t answered_ = 0;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::string requestPath_;
  int requestWidth_ = 0, requestHeight_ = 0;
  uint64_t requested_ = 0, taken_ = 0;
  bool stop_ = false;
  std::thread worker_;
};

}  // namespace quendra::qt
