#pragma once
// TForm1: the main window's logic and state. The front end forwards every event to the
// handlers below (named after the window's components and events) and shows what they set
// through the host interfaces; nothing here knows about Qt.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/file_list.h"
#include "app/host.h"
#include "app/keys.h"
#include "app/picture_hosts.h"
#include "app/preloader.h"
#include "app/save_dialog_settings.h"
#include "controls/threaded_timer.h"
#include "controls/zoomer.h"
#include "saving/save_service.h"

namespace quendra {

inline constexpr const char* kApplicationTitle = "Quendra";
inline constexpr const char* kInitialCaption = "Viewer";

// The status line's note when the editor is started but the picture must be pasted by hand.
inline constexpr const char* kPasteYourselfNote =
    "The picture is on the clipboard: paste it into the editor with Ctrl+V";

// The "Key reminder" text: seventeen lines, each ended by a line feed, and one more.
extern const char* const kKeyReminder;

class VerbStore;

class TForm1 {
 public:
  TForm1(WindowHost& window, DialogHost& dialogs, ShellHost& shell, SaveDialogHost& saveDialogs,
         ClipboardHost& clipboard, CaptureHost& capture, SaveService& saver);

  // State shared by every handler.
  std::string CurrentFolder;  // always ends with a separator once set
  std::string CurrentFile;
  TListBox FileList;
  TTNTZoomer IMG;
  TThreadedTimer Timer;
  int ListWidth = 1;
  bool MovedFlag = false;
  bool Dragging = false;
  TPoint DragPoint;
  bool AllowOverwrite = false;  // the "Allow overwrite" check mark
  TSavePictureDialog SPD;
  // Loads the shown picture's neighbours ahead; off until the front end gives it a dispatcher.
  // Declared last of the state it reads, so it stops before anything it serves goes.
  Preloader Preload;

  // Runs a handler the way the front end must: a failure that leaves it becomes a message box
  // captioned with the application title, and the program carries on.
  void Guarded(const std::function<void()>& handler);

  // Start-up: args are the command-line arguments after the program name; exePath is the
  // running program's path. "--browse FILE" lists FILE's folder and shows FILE in it (the
  // desktop entry's way to open a file). Without an argument the program's own folder is
  // listed; when it holds no picture, userPictures() names where to start instead.
  void FormCreate(const std::vector<std::string>& args, const std::string& exePath,
                  const std::function<std::string()>& userPictures = {});
  void FilesDropped(const std::vector<std::string>& paths);

  // A key pressed while the window is active, in routing order: menu shortcuts (hidden ones
  // too), FormKeyDown, FileListKeyDown, then the list's own handling.
  void KeyDown(uint16_t key, ShiftState shift);
  void FormKeyDown(uint16_t& key, ShiftState shift);
  void FileListKeyDown(uint16_t& key, ShiftState shift);
  void FileListClick();
  void FileListDblClick();
  // The user picked an item in the list (mouse or keyboard); runs FileListClick on a change.
  void FileListSelect(int index);

  void LoadPicture(const std::string& path);
  void FormResize();
  // A step still loading is finished first, so that CurrentFile names the picture IMG holds:
  // every command that reads either calls this. Stepping itself never waits.
  void SettleStep();
  // The picture shown is the fallback for a file that failed to load, not the file's own.
  bool ShowingFallback() const { return showingFallback_; }

  // Menu commands.
  void ROTATERIGHT1Click();
  void ROTATELEFT1Click();
  void DOMENU1Click();
  void Register1Click();
  // The popup menu is about to open: Register1's caption says what a click on it will do.
  void TntPopupMenu1Popup();
  std::string Register1Caption = "Register";
  // Where the file manager's verb is kept, and the program that the verb starts.
  void SetVerbStore(VerbStore* store, std::string executable) {
    verbs_ = store;
    executable_ = std::move(executable);
  }
  void Help1Click();
  void COPY1Click();
  void Capture1Click();
  void AllowClick() { AllowOverwrite = !AllowOverwrite; }
  void SAVE1Click();
  void CaptureSave1Click();
  // A new 32-bit bitmap of IMG's client size holding what the window shows there.
  Bitmap CapturePictureArea();
  void SHOWMAX1Click();
  void SHOWRESTORE1Click();
  void GOHOME1Click();
  void GOEND1Click();
  void REFRESH1Click();
  void SHOWTIME1Click();
  void EXIT1Click();
  void FullSize1Click();

  void TntSpeedButton1Click();
  void TimerTimer();
  void TntFormMouseWheel(ShiftState shift, int delta);
  void TntSplitter1Moved();
  // The window was moved by the user (any move message of the size-or-move loop).
  void WindowMoving();
  // The user's move or resize has ended.
  void ExitSizeMove();

  void IMGMouseDown(MouseButton button, ShiftState shift, int x, int y);
  void IMGMouseMove(ShiftState shift, int x, int y);
  void IMGMouseUp(MouseButton button, ShiftState shift, int x, int y);

 private:
  void ShowFirstOfFolder();
  // Lists the folder of the picture file and shows the file as the selected item; a file the
  // list does not hold is shown alone.
  void BrowseFile(const std::string& path);
  // A step through the list: shows CurrentFile from the preload, or has it loaded off the main
  // thread when preloading is on; otherwise loads it at once.
  void StepTo(const std::string& path);
  void ShowLoaded(LoadedPicture picture);
  void SetPositionStatus();
  void PreloadNeighbours();
  bool showingFallback_ = false;
  int travel_ = 1;  // direction of the last step through the list: +1 down, -1 up
  int lastIndex_ = -1;
  void TurnPicture(void (*turn)(Bitmap&));
  // Puts the bitmap on the clipboard, then has the default editor paste it and gets out of
  // its way; stops with "Cannot open clipboard" when the clipboard cannot be taken.
  void CopyAndPaste(const Bitmap& bitmap);
  // Shows SPD with the save filter and starts a save of the bitmap when confirmed.
  void AskAndSave(const Bitmap& bitmap, const std::string& proposedName);
  // Window-state changes may wait for the window system, which serves queued slideshow ticks
  // and settled resizes meanwhile; those are dropped inside a mode change, never run half-way
  // through it.
  int modeChange_ = 0;
  struct ModeChange {
    int& depth;
    explicit ModeChange(int& d) : depth(++d) {}
    ~ModeChange() { --depth; }
  };
  void SetListPanelWidth(int w);

  VerbStore* verbs_ = nullptr;
  std::string executable_;
  WindowHost& window_;
  DialogHost& dialogs_;
  ShellHost& shell_;
  SaveDialogHost& saveDialogs_;
  ClipboardHost& clipboard_;
  CaptureHost& capture_;
  SaveService& saver_;
};

}  // namespace quendra
