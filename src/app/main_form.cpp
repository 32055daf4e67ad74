#include "app/main_form.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "app/fallback_picture.h"
#include "app/loader.h"
#include "app/popup_menu.h"
#include "base/paths.h"
#include "formats/tbitmap.h"
#include "imaging/rotate.h"

namespace quendra {

const char* const kKeyReminder =
    "UP/DOWN traverse the internal file list.\n"
    "CTRL+UP move up to the next view mode.\n"
    "CTRL+DOWN move down to the next view mode.\n"
    "RIGHT/LEFT rotate image.\n"
    "SPACEBAR open or close the file list.\n"
    "HOME set filelist index to the first item.\n"
    "END set filelist index to the last item.\n"
    "CTRL+C copy current image to clipboard.\n"
    "CTRL+ALT+C capture crop area if created or window and copy to clipboard.\n"
    "CTRL+S open file save dialog for current image.\n"
    "CTRL+ALT+S capture crop area if created or window and open file save dialog.\n"
    "CTRL+R refresh file list.\n"
    "CTRL+F show full sized image when in resizeable mode.\n"
    "CTRL+W showtime - initial interval set to 3 seconds.\n"
    "PAGE UP/PAGE DOWN adjust interval when showtime is being used.  Note: current interval "
    "shown in square brackets in caption when showtime running.\n"
    "ENTER open current image file in the default graphic application.\n"
    "CTRL+ENTER open explorer with current image file selected.\n"
    "\n";

TForm1::TForm1(WindowHost& window, DialogHost& dialogs, ShellHost& shell,
               SaveDialogHost& saveDialogs, ClipboardHost& clipboard, CaptureHost& capture,
               SaveService& saver)
    : window_(window),
      dialogs_(dialogs),
      shell_(shell),
      saveDialogs_(saveDialogs),
      clipboard_(clipboard),
      capture_(capture),
      saver_(saver) {
  IMG.SetCenter(true);
  IMG.SetProportional(true);
  IMG.SetStretch(true);
  IMG.HorzOffset = IMG.VertOffset = 0;
  Timer.SetInterval(3000);
  Timer.SetEnabled(false);
  Timer.OnTimer = [this] { TimerTimer(); };
  FileList.OnChange = [this] { window_.FileListChanged(); };
}

void TForm1::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    dialogs_.ShowMessage(e.what(), kApplicationTitle);
  } catch (...) {
    dialogs_.ShowMessage("Unknown error", kApplicationTitle);
  }
}

void TForm1::SettleStep() {
  Preload.Settle();
}

void TForm1::SetListPanelWidth(int w) {
  window_.SetListPanelWidth(w);
}

// Selects item 0 of a freshly scanned folder, shows it and collapses the list.
void TForm1::ShowFirstOfFolder() {
  FileList.SetItemIndex(0);
  CurrentFile = CurrentFolder + FileList.Item(0);
  LoadPicture(CurrentFile);
  SetListPanelWidth(1);
}

void TForm1::BrowseFile(const std::string& path) {
  const std::string folder = ExtractFilePath(path);
  const std::string name = ExtractFileName(path);
  ScanFolder(folder.empty() ? "./" : folder, FileList, CurrentFolder);
  int found = -1;
  for (int i = 0; i < FileList.Count() && found < 0; ++i)
    if (FileList.Item(i) == name) found = i;
  if (found < 0) {
    FileList.Clear();
    CurrentFile = path;
    LoadPicture(CurrentFile);
    return;
  }
  FileList.SetItemIndex(found);
  lastIndex_ = found;
  CurrentFile = CurrentFolder + FileList.Item(found);
  LoadPicture(CurrentFile);
  SetListPanelWidth(1);
}

void TForm1::FormCreate(const std::vector<std::string>& args, const std::string& exePath,
                        const std::function<std::string()>& userPictures) {
  if (args.size() >= 2 && args[0] == "--browse" && !args[1].empty() && !IsExistingFolder(args[1]) &&
      IsPictureFile(args[1])) {
    BrowseFile(AbsolutePath(args[1]));  // absolute: no working folder needed from here on
    IMG.Invalidate();
    return;
  }
  // The argument count stops at the first empty argument; "--browse" given a folder lists it,
  // and alone (the desktop entry started from the menu) it is no argument.
  const bool browse = !args.empty() && args[0] == "--browse";
  const std::size_t first = browse ? 1 : 0;
  const bool given = args.size() > first && !args[first].empty();
  // Absolute from here on: the list, the save dialog and the desktop need no working folder.
  const std::string start = AbsolutePath(given ? args[first] : ExtractFilePath(exePath));
  if (!IsExistingFolder(start) && IsPictureFile(start)) {
    CurrentFile = start;
    LoadPicture(CurrentFile);
  } else if (IsFolder(start)) {
    int n = ScanFolder(AddTrailingPathDelimiter(start), FileList, CurrentFolder);
    // An installed program's folder (/usr/bin) holds no pictures: the user's are shown.
    if (n == 0 && !given && userPictures)
      n = ScanFolder(AddTrailingPathDelimiter(userPictures()), FileList, CurrentFolder);
    if (n > 0) ShowFirstOfFolder();
  }
  IMG.Invalidate();
}

void TForm1::FilesDropped(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  // The whole path: a cut one would name another file.
  const std::string path = AbsolutePath(paths[0]);
  Preload.Clear();
  if (!IsExistingFolder(path) && IsPictureFile(path)) {
    FileList.Clear();
    CurrentFile = path;
    LoadPicture(CurrentFile);
  }
  if (IsFolder(path)) {
    int n = ScanFolder(path, FileList, CurrentFolder);
    if (n > 0) ShowFirstOfFolder();
  }
}

void TForm1::EXIT1Click() {
  Preload.Stop();  // a running load is cancelled, not waited for
  window_.CloseWindow();
}

// ---- Keys ----

void TForm1::KeyDown(uint16_t key, ShiftState shift) {
  if (const MenuItem* item = FindShortcut(ShortCut(key, shift))) {
    if (item->onClick) (this->*item->onClick)();
    return;
  }
  FormKeyDown(key, shift);
  if (key == 0 || !window_.FileListHasFocus()) return;
  FileListKeyDown(key, shift);
  if (key == 0) return;
  // The list's own handling: UP and DOWN move the selection, without wrapping.
  if ((key == VK_UP || key == VK_DOWN) && FileList.Count() > 0) {
    int i = FileList.ItemIndex();
    int next =
        i < 0 ? 0 : (key == VK_UP ? (i > 0 ? i - 1 : 0) : (i + 1 < FileList.Count() ? i + 1 : i));
    FileListSelect(next);
  }
}

void TForm1::FormKeyDown(uint16_t& key, ShiftState shift) {
  if (key == VK_RETURN) SettleStep();  // the file handed over is the one shown
  const TGraphic* g = IMG.Picture().Graphic();
  if (!g || g->Empty()) return;
  if (Timer.Enabled()) {
    if (key == VK_PRIOR && Timer.Interval() > 1000) Timer.SetInterval(Timer.Interval() - 1000);
    if (key == VK_NEXT) Timer.SetInterval(Timer.Interval() + 1000);
    FormResize();
  }
  if (key == VK_RETURN) {
    if (shift.ctrl)
      shell_.ShowInFileManager(CurrentFile);
    else
      shell_.OpenInDefaultApplication(CurrentFile);
    window_.MinimizeApplication();
  }
}

void TForm1::FileListKeyDown(uint16_t& key, ShiftState shift) {
  if (!((key == VK_UP || key == VK_DOWN) && !shift.ctrl)) key = 0;
}

void TForm1::FileListSelect(int index) {
  if (index == FileList.ItemIndex()) return;
  FileList.SetItemIndex(index);
  FileListClick();
}

void TForm1::FileListClick() {
  if (FileList.ItemIndex() < 0) return;
  CurrentFile = CurrentFolder + FileList.Item(FileList.ItemIndex());
  if (!IMG.Proportional()) IMG.ResetView();
  const int i = FileList.ItemIndex();
  if (lastIndex_ >= 0 && i != lastIndex_) travel_ = i < lastIndex_ && !Timer.Enabled() ? -1 : 1;
  lastIndex_ = i;
  StepTo(CurrentFile);
}

void TForm1::FileListDblClick() {
  if (FileList.ItemIndex() < 0) return;
  CurrentFile = CurrentFolder + FileList.Item(FileList.ItemIndex());
  SetListPanelWidth(1);
  LoadPicture(CurrentFile);
}

void TForm1::GOHOME1Click() {
  if (FileList.Count() == 0) return;
  FileList.SetItemIndex(0);
  FileListClick();
}

void TForm1::GOEND1Click() {
  if (FileList.Count() == 0) return;
  FileList.SetItemIndex(FileList.Count() - 1);
  FileListClick();
}

void TForm1::SHOWTIME1Click() {
  if (FileList.Count() == 0) return;
  Timer.SetEnabled(!Timer.Enabled());
  FormResize();
}

void TForm1::TimerTimer() {
  if (modeChange_ > 0) return;
  int i = FileList.ItemIndex();
  FileList.SetItemIndex(i == FileList.Count() - 1 ? 0 : i + 1);
  FileListClick();
}

void TForm1::TntFormMouseWheel(ShiftState shift, int delta) {
  if (IMG.Proportional()) return;
  int step = shift.ctrl ? 1 : 10;
  IMG.ZoomBy(delta > 0 ? step : -step);
  FormResize();
}

void TForm1::Help1Click() {
  dialogs_.ShowMessage(kKeyReminder, kApplicationTitle);
}

// ---- Folder commands ----

void TForm1::TntSpeedButton1Click() {
  auto folder = dialogs_.BrowseForFolder("Select folder");
  if (!folder) return;
  *folder = AbsolutePath(*folder);
  Preload.Clear();
  int n = ScanFolder(*folder, FileList, CurrentFolder);
  if (n > 0) {
    FileList.SetItemIndex(0);
    CurrentFile = CurrentFolder + FileList.Item(0);
    LoadPicture(CurrentFile);
  }
}

void TForm1::REFRESH1Click() {
  if (FileList.Count() == 0) return;
  const std::string folder = AddTrailingPathDelimiter(ExtractFilePath(CurrentFile));
  Preload.Clear();  // files may have changed in ways size and time do not show
  int n = ScanFolder(folder, FileList, CurrentFolder);
  if (n == 0) return;
  int found = FileList.IndexOfCaseless(ExtractFileName(CurrentFile));
  FileList.SetItemIndex(found >= 0 ? found : 0);
  CurrentFile = folder + FileList.Item(FileList.ItemIndex());
  IMG.ResetOffsets();
  LoadPicture(CurrentFile);
}

// ---- Loading ----

void TForm1::SetPositionStatus() {
  char status[64];
  std::snprintf(status, sizeof status, "[%d/%d] ", FileList.ItemIndex() + 1, FileList.Count());
  window_.SetStatusText(status + ExtractFileName(CurrentFile));
}

void TForm1::LoadPicture(const std::string& path) {
  Preload.CancelRequest();  // whatever a step still waits for is older than this
  if (auto ready = Preload.Take(path, ViewKey::Of(IMG))) {
    ShowLoaded(std::move(*ready));
  } else {
    try {
      LoadIntoZoomer(IMG, path);
      showingFallback_ = false;
      SetPositionStatus();
    } catch (...) {
      // Every failure shows the fallback picture, silently; the status line stays.
      IMG.Picture().AssignBitmap(FallbackPicture());
      showingFallback_ = true;
    }
  }
  FormResize();
  PreloadNeighbours();
}

// What LoadPicture shows for a load made elsewhere: the same picture, status line and caption.
void TForm1::ShowLoaded(LoadedPicture picture) {
  showingFallback_ = !picture.ok;
  if (picture.ok) {
    IMG.Picture().AssignBitmap(std::move(picture.bitmap));
    SetPositionStatus();
  } else {
    IMG.Picture().AssignBitmap(FallbackPicture());
  }
}

void TForm1::StepTo(const std::string& path) {
  if (!Preload.Enabled()) return LoadPicture(path);
  const ViewKey view = ViewKey::Of(IMG);
  if (auto ready = Preload.Take(path, view)) {
    Preload.CancelRequest();
    ShowLoaded(std::move(*ready));
    FormResize();
  } else {
    // Loaded off the main thread, which stays free for the next key: a newer step replaces this
    // one, so a held key never leaves loads queued behind it.
    Preload.Request(path, view, [this](LoadedPicture picture) {
      Guarded([&] {
        // A preload adopted by the step may have stopped at the full-size bound; the step
        // itself has none.
        if (picture.tooLarge) return LoadPicture(picture.path);
        ShowLoaded(std::move(picture));
        FormResize();
        PreloadNeighbours();
      });
    });
  }
  PreloadNeighbours();
}

// The next picture in the direction of travel first, then the one behind; the slideshow wraps.
void TForm1::PreloadNeighbours() {
  if (!Preload.Enabled()) return;
  std::vector<std::string> paths;
  const int i = FileList.ItemIndex(), n = FileList.Count();
  if (i >= 0 && i < n && CurrentFile == CurrentFolder + FileList.Item(i)) {
    for (int k : {i + travel_, i - travel_}) {
      if (Timer.Enabled()) k = (k + n) % n;
      if (k < 0 || k >= n || k == i) continue;
      std::string p = CurrentFolder + FileList.Item(k);
      if (std::find(paths.begin(), paths.end(), p) == paths.end()) paths.push_back(std::move(p));
    }
  }
  Preload.Want(paths, ViewKey::Of(IMG));
}

void TForm1::FormResize() {
  std::string timer;
  if (Timer.Enabled()) {
    // Appended piece by piece: "[" + string trips GCC 12's -Wrestrict at -O3.
    timer.push_back('[');
    timer += std::to_string(Timer.Interval() / 1000);
    timer.push_back(']');
  }
  const std::string zoom = std::to_string(IMG.ZoomPercent()) + "%";
  char buf[128];
  if (IMG.Proportional())
    std::snprintf(buf, sizeof buf, "Image Size - %d x %d %s", IMG.DestWidth(), IMG.DestHeight(),
                  timer.c_str());
  else
    std::snprintf(buf, sizeof buf, "Window size - %d x %d (%d x %d) %s %s", IMG.ClientWidth(),
                  IMG.ClientHeight(), IMG.DestWidth(), IMG.DestHeight(), timer.c_str(),
                  zoom.c_str());
  window_.SetCaption(buf);
}

// ---- View modes ----

void TForm1::SHOWMAX1Click() {
  ModeChange busy(modeChange_);
  if (!window_.IsMaximized()) {
    window_.FadeOutAndHide();
    IMG.SetStretch(true);
    IMG.AutoSize = false;
    IMG.ResetView();
    IMG.SetProportional(true);
    window_.ShowMaximized();
    LoadPicture(CurrentFile);
    FormResize();
  } else {
    IMG.SetProportional(false);
    IMG.ResetOffsets();
    IMG.AutoSize = true;
    IMG.SetStretch(false);
    LoadPicture(CurrentFile);
    IMG.SetZoomPercent(100);
    FormResize();
  }
}

void TForm1::SHOWRESTORE1Click() {
  ModeChange busy(modeChange_);
  if (window_.IsMaximized() && IMG.Proportional()) {
    window_.HideWindow();
    IMG.ResetView();
    window_.RestoreWindow();
    LoadPicture(CurrentFile);
    FormResize();
  } else if (!IMG.Proportional()) {
    IMG.SetProportional(true);
    IMG.SetStretch(true);
    IMG.ResetView();
    LoadPicture(CurrentFile);
    FormResize();
  }
}

void TForm1::FullSize1Click() {
  if (window_.IsMaximized()) return;
  IMG.SetProportional(false);
  IMG.SetStretch(false);
  LoadPicture(CurrentFile);
  FormResize();
}

void TForm1::DOMENU1Click() {
  if (ListWidth == 1) ListWidth = 200;
  SetListPanelWidth(window_.ListPanelWidth() == ListWidth ? 1 : ListWidth);
  FormResize();
  if (!CurrentFile.empty()) LoadPicture(CurrentFile);
}

void TForm1::TntSplitter1Moved() {
  if (!CurrentFile.empty()) LoadPicture(CurrentFile);
  if (window_.ListPanelWidth() > 1) ListWidth = window_.ListPanelWidth();
  FormResize();
}

void TForm1::WindowMoving() {
  MovedFlag = true;
}

void TForm1::ExitSizeMove() {
  if (modeChange_ > 0) return;  // the mode change reloads for its new size itself
  if (IMG.Picture().AsBitmap().Image().Empty() || MovedFlag) {
    MovedFlag = false;
    return;
  }
  LoadPicture(CurrentFile);
}

// ---- Dragging ----

void TForm1::IMGMouseDown(MouseButton button, ShiftState, int x, int y) {
  if (IMG.Proportional() || button != MouseButton::mbLeft) return;
  Dragging = true;
  DragPoint = {x, y};
}

void TForm1::IMGMouseMove(ShiftState, int x, int y) {
  if (!Dragging) return;
  IMG.ScrollHorz(x - DragPoint.X);
  IMG.ScrollVert(y - DragPoint.Y);
  DragPoint = {x, y};
}

void TForm1::IMGMouseUp(MouseButton, ShiftState, int, int) {
  Dragging = false;
}

// ---- Pixel commands ----

// Turns the shown bitmap in place; with nothing loaded nothing happens.
void TForm1::TurnPicture(void (*turn)(Bitmap&)) {
  SettleStep();  // a turn of the picture still loading would be lost when it arrives
  TGraphic* g = IMG.Picture().Graphic();
  if (!g || g->Empty()) return;
  turn(IMG.Picture().AsBitmap().Image());
  IMG.Picture().Changed();
  FormResize();
}

void TForm1::ROTATERIGHT1Click() {
  TurnPicture(RotateBitmapRight);
}
void TForm1::ROTATELEFT1Click() {
  TurnPicture(RotateBitmapLeft);
}

}  // namespace quendra
