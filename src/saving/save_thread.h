#pragma once
// The saver: each save runs on a thread of its own (tSaveThrd) that owns a private copy of the
// bitmap and the file name. Its only output to the user, "Graphic type cannot be saved!" or
// "Could not save <name>: <reason>", is handed to the main thread through the dispatcher and
// shown there. The saver owns every thread it starts and joins them: finished ones at the next
// start, pending ones in WaitAll and in its destructor, so the program never ends with a file cut
// short.
#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <thread>

#include "base/dispatcher.h"
#include "saving/save_service.h"

namespace quendra {

inline constexpr const char* kCannotSaveMessage = "Graphic type cannot be saved!";
inline constexpr const char* kSaveFailedFormat = "Could not save %s: %s";
// The status line after a save written under another name than the one chosen.
inline constexpr const char* kSavedAsFormat = "Saved as %s";

// Shows a message box (text, caption) with one OK button; called on the main thread only.
using ShowMessageFunction =
    std::function<void(const std::string& text, const std::string& caption)>;

// Sets the main window's status line; called on the main thread only.
using ShowStatusFunction = std::function<void(const std::string& text)>;

// The thread body, callable on its own: picks the writer by the name's extension (PlanSave) and
// writes the file (ReplaceFile). A name the extension rule changed never replaces a file: the
// save goes to the first free name (UniqueFileName) of the changed one. Returns the message for
// the user, or "" when the file was written; `writtenTo` gets the name written.
std::string SaveByExtension(const Bitmap& bitmap, const std::string& fileName,
                            std::string* writtenTo = nullptr);

// One save: the target name and the thread's own bitmap, written on its own thread.
class tSaveThrd {
 public:
  // Copies nothing: the saver hands over the copy it made on the calling thread. `finished`
  // runs on the save thread when the body has ended (its message shown or handed over).
  tSaveThrd(std::string fileName, Bitmap bitmap, MainThreadDispatcher& dispatcher,
            ShowMessageFunction show, ShowStatusFunction status, std::function<void()> finished);
  ~tSaveThrd();  // joins
  tSaveThrd(const tSaveThrd&) = delete;
  tSaveThrd& operator=(const tSaveThrd&) = delete;

  bool Finished() const { return finished_.load(std::memory_order_acquire); }
  void Join();

 private:
  void Execute();

  std::string fileName_;
  Bitmap bitmap_;
  MainThreadDispatcher& dispatcher_;
  ShowMessageFunction show_;
  ShowStatusFunction status_;
  std::function<void()> onFinished_;
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

class Saver : public SaveService {
 public:
  // Both outlive the saver. Writes that exceed the process's file-size limit fail with an error
  // instead of ending the program (SIGXFSZ is ignored from here on).
  // `showStatus` tells where a renamed save went (kSavedAsFormat).
  Saver(MainThreadDispatcher& dispatcher, ShowMessageFunction showMessage,
        ShowStatusFunction showStatus = nullptr);
  // Waits for pending saves, serving the dispatcher meanwhile (WaitAll).
  ~Saver() override;
  Saver(const Saver&) = delete;
  Saver& operator=(const Saver&) = delete;

  // Main thread: copies the bitmap here, then writes on a new thread; returns at once.
  void StartSaveThread(const Bitmap& bitmap, const std::string& fileName) override;
  // Main thread: returns when every save started so far has ended, running the requests of the
  // save threads (their messages) while it waits, so a save posting its message cannot
  // deadlock the wait.
  void WaitAll();
  // Saves started and not yet ended.
  int Pending() const;

 private:
  void ReapFinished();

  MainThreadDispatcher& dispatcher_;
  ShowMessageFunction show_;
  ShowStatusFunction status_;
  std::list<std::unique_ptr<tSaveThrd>> threads_;  // main thread only
  std::atomic<int> running_{0};
};

}  // namespace quendra
