#include "saving/save_thread.h"

#include <csignal>
#include <cstdio>

#include "saving/save_by_extension.h"

namespace quendra {

namespace {

// The application's title, which captions every message box.
constexpr const char* kCaption = "Quendra";

std::string SaveFailed(const std::string& fileName, const std::string& reason) {
  const int n = std::snprintf(nullptr, 0, kSaveFailedFormat, fileName.c_str(), reason.c_str());
  std::string text(size_t(n) + 1, '\0');
  std::snprintf(text.data(), text.size(), kSaveFailedFormat, fileName.c_str(), reason.c_str());
  text.resize(size_t(n));
  return text;
}

}  // namespace

std::string SaveByExtension(const Bitmap& bitmap, const std::string& fileName) {
  const SavePlan plan = PlanSave(fileName);
  if (!plan.format) return kCannotSaveMessage;
  try {
    WritePictureFile(bitmap, *plan.format, plan.fileName);
  } catch (const std::bad_alloc&) {
    return SaveFailed(plan.fileName, "Out of memory");
  } catch (const std::exception& e) {
    return SaveFailed(plan.fileName, e.what());
  }
  return {};
}

tSaveThrd::tSaveThrd(std::string fileName, Bitmap bitmap, MainThreadDispatcher& dispatcher,
                     ShowMessageFunction show, std::function<void()> finished)
    : fileName_(std::move(fileName)),
      bitmap_(std::move(bitmap)),
      dispatcher_(dispatcher),
      show_(std::move(show)),
      onFinished_(std::move(finished)) {
  // Started last, when every field is set.
  thread_ = std::thread([this] { Execute(); });
}

tSaveThrd::~tSaveThrd() {
  Join();
}

void tSaveThrd::Join() {
  if (thread_.joinable()) thread_.join();
}

void tSaveThrd::Execute() {
  std::string message;
  try {
    message = SaveByExtension(bitmap_, fileName_);
  } catch (...) {
    message = SaveFailed(fileName_, "Unknown error");
  }
  bitmap_ = Bitmap();  // released as soon as the file is written
  if (!message.empty() && show_) {
    try {
      dispatcher_.Synchronize([&] { show_(message, kCaption); });
    } catch (...) {
      // The message box itself failed; the save has ended all the same.
    }
  }
  finished_.store(true, std::memory_order_release);
  if (onFinished_) onFinished_();
}

Saver::Saver(MainThreadDispatcher& dispatcher, ShowMessageFunction showMessage)
    : dispatcher_(dispatcher), show_(std::move(showMessage)) {
  std::signal(SIGXFSZ, SIG_IGN);
}

Saver::~Saver() {
  WaitAll();
}

void Saver::StartSaveThread(const Bitmap& bitmap, const std::string& fileName) {
  ReapFinished();
  Bitmap copy = bitmap;  // a deep copy, made here on the calling thread
  running_.fetch_add(1);
  try {
    threads_.push_back(
        std::make_unique<tSaveThrd>(fileName, std::move(copy), dispatcher_, show_, [this] {
          running_.fetch_sub(1);
          dispatcher_.Notify();
        }));
  } catch (...) {
    running_.fetch_sub(1);
    throw;
  }
}

void Saver::WaitAll() {
  dispatcher_.WaitServing([this] { return running_.load() == 0; });
  threads_.clear();  // joins each
}

int Saver::Pending() const {
  return running_.load();
}

void Saver::ReapFinished() {
  threads_.remove_if([](const std::unique_ptr<tSaveThrd>& t) { return t->Finished(); });
}

}  // namespace quendra
