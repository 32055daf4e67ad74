#include "app/preloader.h"

#include <sys/stat.h>

#include <algorithm>

#include "app/loader.h"

namespace quendra {

ViewKey ViewKey::Of(const TZoomer& z) {
  ViewKey k;
  k.proportional = z.Proportional();
  k.stretch = z.Stretch();
  k.center = z.Center();
  k.transparent = z.Transparent();
  k.width = z.ClientWidth();
  k.height = z.ClientHeight();
  if (k.proportional) {
    k.zoom = z.ZoomPercent();
    k.horz = z.HorzOffset;
    k.vert = z.VertOffset;
  }
  return k;
}

void ViewKey::ApplyTo(TZoomer& z) const {
  z.SetClientSize(width, height);
  z.SetCenter(center);
  z.SetStretch(stretch);
  z.SetProportional(proportional);
  z.SetTransparent(transparent);
  z.HorzOffset = horz;
  z.VertOffset = vert;
  z.SetZoomPercent(zoom);
}

FileStamp FileStamp::Of(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return {int64_t(st.st_size), int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

Preloader::~Preloader() {
  Stop();
}

void Preloader::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    if (runningToken_) runningToken_->Cancel();
    cache_.clear();
  }
  work_.notify_all();
  if (worker_.joinable()) worker_.join();
  *alive_ = false;  // deliveries still queued on the dispatcher find nobody
  stopped_ = true;
}

void Preloader::StartWorker() {
  if (!worker_.joinable() && !stopped_) worker_ = std::thread([this] { Run(); });
}

// Called with the mutex held.
void Preloader::CancelRunningIf(bool cond) {
  if (cond && runningToken_) runningToken_->Cancel();
}

bool Preloader::IsWanted(const std::string& path, const ViewKey& view) const {
  return view == wantedView_ && std::find(wanted_.begin(), wanted_.end(), path) != wanted_.end();
}

std::optional<LoadedPicture> Preloader::Take(const std::string& path, const ViewKey& view) {
  if (!Enabled()) return std::nullopt;
  std::optional<LoadedPicture> found;
  {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(cache_.begin(), cache_.end(), [&](const LoadedPicture& p) {
      return p.path == path && p.view == view && !p.tooLarge;
    });
    if (it != cache_.end()) {
      found = std::move(*it);
      cache_.erase(it);
    }
    // Whether it was found or not, the shown picture is no longer to be preloaded.
    std::erase(wanted_, path);
    if (!found || !(found->stamp == FileStamp::Of(path))) {
      ++counters_.misses;
      return std::nullopt;
    }
    ++counters_.hits;
  }
  return found;
}

void Preloader::Request(const std::string& path, const ViewKey& view,
                        std::function<void(LoadedPicture)> deliver) {
  deliver_ = std::move(deliver);
  {
    std::lock_guard lock(mutex_);
    requestGeneration_ = ++generation_;
    urgent_.reset();
    const bool same = running_ && running_->path == path && running_->view == view;
    if (same && (running_->urgent || runningAdopted_)) {
      running_->generation = generation_;  // the step asks again for what already runs
    } else if (same) {
      runningAdopted_ = true;
      running_->generation = generation_;
    } else {
      CancelRunningIf(true);
      urgent_ = Job{path, view, true, generation_};
    }
  }
  StartWorker();
  work_.notify_all();
}

bool Preloader::RequestPending() const {
  if (!deliver_) return false;
  std::lock_guard lock(mutex_);
  return !stop_ && requestGeneration_ == generation_;
}

void Preloader::Settle() {
  if (!Enabled() || !RequestPending()) return;
  dispatcher_->WaitServing([this] { return !RequestPending(); });
}

void Preloader::CancelRequest() {
  std::lock_guard lock(mutex_);
  ++generation_;
  urgent_.reset();
  CancelRunningIf(running_ && (running_->urgent || runningAdopted_));
}

void Preloader::Want(const std::vector<std::string>& paths, const ViewKey& view) {
  if (!Enabled()) return;
  {
    std::lock_guard lock(mutex_);
    wanted_.assign(paths.begin(), paths.begin() + std::min(paths.size(), kMaxPictures));
    wantedView_ = view;
    std::erase_if(cache_, [&](const LoadedPicture& p) { return !IsWanted(p.path, p.view); });
    CancelRunningIf(running_ && !running_->urgent && !runningAdopted_ &&
                    !IsWanted(running_->path, running_->view));
  }
  StartWorker();
  work_.notify_all();
}

void Preloader::Clear() {
  std::lock_guard lock(mutex_);
  cache_.clear();
  wanted_.clear();
  ++generation_;
  urgent_.reset();
  CancelRunningIf(true);
}

Preloader::Counters Preloader::Count() const {
  std::lock_guard lock(mutex_);
  return counters_;
}

std::vector<std::pair<std::string, ViewKey>> Preloader::Held() const {
  std::lock_guard lock(mutex_);
  std::vector<std::pair<std::string, ViewKey>> held;
  for (const LoadedPicture& p : cache_)
    if (!p.tooLarge) held.emplace_back(p.path, p.view);
  return held;
}

void Preloader::Hold(bool held) {
  {
    std::lock_guard lock(mutex_);
    held_ = held;
  }
  work_.notify_all();
  idle_.notify_all();
}

void Preloader::WaitIdle() {
  std::unique_lock lock(mutex_);
  Job ignored;
  idle_.wait(lock, [&] {
    return stop_ || !worker_.joinable() || (!running_ && (held_ || !NextJob(ignored)));
  });
}

// With the mutex held: the requested step first, then the first wanted picture not held yet.
// `job` is filled only when the answer is true; an urgent job is taken off the queue.
bool Preloader::NextJob(Job& job) {
  if (urgent_) {
    job = *urgent_;
    return true;
  }
  for (const std::string& path : wanted_) {
    const bool held = std::any_of(cache_.begin(), cache_.end(),
                                  [&](const LoadedPicture& p) { return p.path == path; });
    if (!held) {
      job = Job{path, wantedView_, false, 0};
      return true;
    }
  }
  return false;
}

LoadedPicture Preloader::Load(const Job& job, const CancelToken& token) {
  LoadedPicture result;
  result.path = job.path;
  result.view = job.view;
  // Taken before reading, so that a file changed while it is read counts as changed.
  result.stamp = FileStamp::Of(job.path);
  CancelScope scope(token);
  if (OnLoadStart) OnLoadStart(token);
  try {
    ThrowIfCancelled();
    TZoomer zoomer;
    job.view.ApplyTo(zoomer);
    zoomer.Picture().LoadFromFile(job.path);
    const TGraphic& read = *zoomer.Picture().Graphic();
    if (!job.urgent && !job.view.proportional &&
        int64_t(read.Width()) * read.Height() * 4 > kMaxFullSizeBytes) {
      result.tooLarge = true;
      return result;
    }
    ThrowIfCancelled();
    FinishLoad(zoomer);
    zoomer.Picture().Graphic()->HandOver(result.bitmap);
    result.ok = true;
  } catch (const ELoadCancelled&) {
    // The caller sees the token.
  } catch (...) {
    result.ok = false;  // shown as the fallback picture, as on the spot
  }
  return result;
}

void Preloader::Deliver(uint64_t generation, LoadedPicture picture) {
  {
    std::lock_guard lock(mutex_);
    if (generation != generation_) return;  // a newer step or load came first
    ++generation_;
    ++counters_.delivered;
  }
  auto deliver = std::move(deliver_);
  deliver_ = nullptr;
  if (deliver) deliver(std::move(picture));
}

void Preloader::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    Job job;
    work_.wait(lock, [&] { return stop_ || (!held_ && NextJob(job)); });
    if (stop_) break;
    if (job.urgent) urgent_.reset();
    CancelToken token;
    running_ = job;
    runningAdopted_ = false;
    runningToken_ = &token;
    ++counters_.loads;
    lock.unlock();
    LoadedPicture result = Load(job, token);
    lock.lock();
    const Job finished = *running_;  // a request may have adopted it meanwhile
    const bool adopted = runningAdopted_;
    running_.reset();
    runningToken_ = nullptr;
    runningAdopted_ = false;
    if (token.Cancelled() || stop_) {
      ++counters_.cancelled;
    } else if (finished.urgent || adopted) {
      if (finished.generation == generation_) {
        const uint64_t generation = finished.generation;
        dispatcher_->Post([this, alive = alive_, generation, r = std::move(result)]() mutable {
          if (*alive) Deliver(generation, std::move(r));
        });
      }
    } else if (IsWanted(result.path, result.view)) {
      cache_.push_back(std::move(result));
    }
    idle_.notify_all();
  }
  idle_.notify_all();
}

}  // namespace quendra
