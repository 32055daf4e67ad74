#pragma once
// Preloader: one worker thread that loads the neighbours of the shown picture exactly as
// LoadPicture would for the current view (same reader, JPEG scale, fitted size and pixels), so
// that a step finds its picture ready. A step whose picture is not ready is loaded on the same
// worker, ahead of every preload, and handed to the main thread through the dispatcher; a newer
// target cancels an older one between row bands, so a held key never queues loads.
//
// The worker never touches the zoomer or the window: it loads into a private zoomer of the same
// layout and hands over the finished bitmap whole. At most two pictures are held; in the
// full-size modes only pictures whose bitmap is at most 64 MB. The owner stops and joins it.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/bitmap.h"
#include "base/dispatcher.h"
#include "controls/zoomer.h"
#include "formats/load_cancel.h"

namespace quendra {

// What a load depends on besides the file: the zoomer's layout. In the full-size modes nothing
// is fitted, so zoom and offsets do not count there.
struct ViewKey {
  bool proportional = false, stretch = false, center = false, transparent = false;
  int zoom = 100, horz = 0, vert = 0, width = 0, height = 0;
  bool operator==(const ViewKey&) const = default;
  static ViewKey Of(const TZoomer& z);
  void ApplyTo(TZoomer& z) const;
};

// A file as the preload saw it: size and modification time; an unreadable name has size -1.
struct FileStamp {
  int64_t size = -1, mtimeNs = 0;
  bool operator==(const FileStamp&) const = default;
  static FileStamp Of(const std::string& path);
};

// One load's outcome: the bitmap to show, or a failure (the fallback picture is shown then).
struct LoadedPicture {
  std::string path;
  ViewKey view;
  FileStamp stamp;
  bool ok = false;
  bool tooLarge = false;  // not preloaded: over the full-size bound
  Bitmap bitmap;
};

class Preloader {
 public:
  static constexpr int64_t kMaxFullSizeBytes = int64_t(64) << 20;
  static constexpr size_t kMaxPictures = 2;

  Preloader() = default;
  ~Preloader();
  Preloader(const Preloader&) = delete;
  Preloader& operator=(const Preloader&) = delete;

  // Main thread. Preloading is on once a dispatcher is set; the worker starts on first use.
  void SetDispatcher(MainThreadDispatcher* dispatcher) { dispatcher_ = dispatcher; }
  bool Enabled() const { return dispatcher_ != nullptr && !stopped_; }

  // Main thread: the ready picture of `path` for this view, taken out of the cache, when the
  // file is unchanged on disk since it was read; nullopt otherwise (a stale one is dropped).
  std::optional<LoadedPicture> Take(const std::string& path, const ViewKey& view);

  // Main thread: loads `path` for this view ahead of every preload and runs `deliver` with it
  // on the main thread. Replaces an earlier request that has not been delivered; a load of the
  // same picture already running is adopted, any other running load is cancelled.
  void Request(const std::string& path, const ViewKey& view,
               std::function<void(LoadedPicture)> deliver);
  // Main thread: an undelivered request will never be delivered.
  void CancelRequest();
  // Main thread: a request not delivered yet is finished now: waits for the worker while
  // serving the dispatcher, which delivers it (and whatever else is queued: a newer step asked
  // for meanwhile is waited for in turn). Returns at once when none is pending.
  void Settle();
  bool RequestPending() const;

  // Main thread: the pictures to hold ready, most wanted first (at most two). Held pictures of
  // other names or another view are dropped, and a preload of one is cancelled.
  void Want(const std::vector<std::string>& paths, const ViewKey& view);
  // Main thread: drops every held picture and cancels what runs (the list was read again).
  void Clear();
  // Main thread: cancels what runs, joins the worker; preloading is off afterwards.
  void Stop();

  // For tests and benchmarks.
  struct Counters {
    int loads = 0, cancelled = 0, hits = 0, misses = 0, delivered = 0;
  };
  Counters Count() const;
  // Names and views of the pictures held ready.
  std::vector<std::pair<std::string, ViewKey>> Held() const;
  // Blocks until the worker has nothing left to do (or is held).
  void WaitIdle();
  // While held, the worker starts no load.
  void Hold(bool held);
  // Runs on the worker as each load starts, under the load's cancel token.
  std::function<void(const CancelToken&)> OnLoadStart;

 private:
  struct Job {
    std::string path;
    ViewKey view;
    bool urgent = false;
    uint64_t generation = 0;
  };
  void Run();
  void StartWorker();
  bool NextJob(Job& job);
  LoadedPicture Load(const Job& job, const CancelToken& token);
  bool IsWanted(const std::string& path, const ViewKey& view) const;
  void CancelRunningIf(bool cond);
  void Deliver(uint64_t generation, LoadedPicture picture);

  MainThreadDispatcher* dispatcher_ = nullptr;
  bool stopped_ = false;
  std::function<void(LoadedPicture)> deliver_;                  // main thread only
  uint64_t requestGeneration_ = 0;                              // main thread only
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // read by posted deliveries

  mutable std::mutex mutex_;
  std::condition_variable work_, idle_;
  std::thread worker_;
  bool stop_ = false, held_ = false;
  std::optional<Job> urgent_;
  uint64_t generation_ = 0;
  std::vector<std::string> wanted_;
  ViewKey wantedView_;
  std::vector<LoadedPicture> cache_;
  std::optional<Job> running_;
  bool runningAdopted_ = false;  // the running preload became the requested step
  CancelToken* runningToken_ = nullptr;
  Counters counters_;
};

}  // namespace quendra
