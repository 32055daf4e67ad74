#include "saving/save_thread.h"

#include <sys/stat.h>

#include <csignal>
#include <initializer_list>
#include <string_view>

#include "base/errors.h"
#include "saving/save_by_extension.h"
#include "saving/save_naming.h"

namespace quendra {

namespace {

// The application's title, which captions every message box.
constexpr const char* kCaption = "Quendra";

// Tries a few free names when other saves take them first; each try fails cleanly.
constexpr int kNameTries = 16;

// The texts hold a "%s" for each value, filled in order.
std::string Format(std::string_view format, std::initializer_list<std::string_view> values) {
  std::string text;
  auto value = values.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    if (format.substr(i, 2) == "%s" && value != values.end()) {
      text += *value++;
      ++i;
    } else {
      text += format[i];
    }
  }
  return text;
}

std::string SaveFailed(const std::string& fileName, const std::string& reason) {
  return Format(kSaveFailedFormat, {fileName, reason});
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

std::string SaveByExtension(const Bitmap& bitmap, const std::string& fileName,
                            std::string* writtenTo) {
  const SavePlan plan = PlanSave(fileName);
  if (!plan.format) return kCannotSaveMessage;
  // The user named fileName, not the changed name: a file there is nobody's to replace.
  const bool renamed = plan.fileName != fileName;
  std::string name = renamed ? UniqueFileName(plan.fileName) : plan.fileName;
  try {
    for (int tries = 1;; ++tries) {
      try {
        WritePictureFile(bitmap, *plan.format, name,
                         renamed ? ReplaceMode::NoReplace : ReplaceMode::Replace);
        break;
      } catch (const EFileError&) {
        // Another save took the free name meanwhile: the next free one.
        if (!renamed || tries == kNameTries || !FileExists(name)) throw;
        name = UniqueFileName(plan.fileName);
      }
    }
  } catch (const std::bad_alloc&) {
    return SaveFailed(name, "Out of memory");
  } catch (const std::exception& e) {
    return SaveFailed(name, e.what());
  }
  if (writtenTo) *writtenTo = name;
  return {};
}

tSaveThrd::tSaveThrd(std::string fileName, Bitmap bitmap, MainThreadDispatcher& dispatcher,
                     ShowMessageFunction show, ShowStatusFunction status,
                     std::function<void()> finished)
    : fileName_(std::move(fileName)),
      bitmap_(std::move(bitmap)),
      dispatcher_(dispatcher),
      show_(std::move(show)),
      status_(std::move(status)),
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
  std::string message, writtenTo;
  try {
    message = SaveByExtension(bitmap_, fileName_, &writtenTo);
  } catch (...) {
    message = SaveFailed(fileName_, "Unknown error");
  }
  bitmap_ = Bitmap();  // released as soon as the file is written
  if (message.empty() && writtenTo != fileName_ && status_) {
    try {
      dispatcher_.Synchronize([&] { status_(Format(kSavedAsFormat, {writtenTo})); });
    } catch (...) {
      // The status line is only a note; the file is written.
    }
  }
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

Saver::Saver(MainThreadDispatcher& dispatcher, ShowMessageFunction showMessage,
             ShowStatusFunction showStatus)
    : dispatcher_(dispatcher), show_(std::move(showMessage)), status_(std::move(showStatus)) {
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
        std::make_unique<tSaveThrd>(fileName, std::move(copy), dispatcher_, show_, status_, [this] {
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
