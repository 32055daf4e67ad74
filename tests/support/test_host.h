#pragma once
// A scriptable host for the viewer's logic: it lays the window out the way the real one does
// (client 570 x 387 normal, 5-pixel border, 32-pixel status line, 2-pixel splitter), answers
// dialogs from a script, and records every request.
#include <algorithm>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/host.h"
#include "app/main_form.h"
#include "app/picture_hosts.h"
#include "saving/save_service.h"

namespace quendra::testing {

class TestHost : public WindowHost,
                 public DialogHost,
                 public ShellHost,
                 public SaveDialogHost,
                 public ClipboardHost,
                 public CaptureHost,
                 public SaveService {
 public:
  // Normal and maximised client sizes of the window.
  int normalWidth = 570, normalHeight = 387;
  int maxWidth = 1280, maxHeight = 1000;

  std::string caption = kInitialCaption;
  std::string status;
  int panelWidth = 1;
  bool maximized = false, visible = true, minimized = false, closed = false;
  bool listFocused = true;
  int fileListChanges = 0;
  std::vector<std::string> calls;                             // window-state requests in order
  std::vector<std::pair<std::string, std::string>> messages;  // text, caption
  std::deque<std::optional<std::string>> folderAnswers;       // scripted browse results
  std::vector<std::string> browseTexts;
  std::vector<std::string> opened, shownInFileManager;

  TForm1* form = nullptr;  // the form whose zoomer gets the layout's size
  void Attach(TForm1& f) {
    form = &f;
    Relayout();
  }
  // Zoomer client size that the layout gives.
  int ZoomerWidth() const { return (maximized ? maxWidth : normalWidth) - 10 - panelWidth - 2; }
  int ZoomerHeight() const { return (maximized ? maxHeight : normalHeight) - 10 - 32; }
  void Relayout() {
    if (form) form->IMG.SetClientSize(ZoomerWidth(), ZoomerHeight());
  }

  void SetCaption(const std::string& t) override { caption = t; }
  void SetStatusText(const std::string& t) override { status = t; }
  int ListPanelWidth() const override { return panelWidth; }
  void SetListPanelWidth(int w) override {
    panelWidth = w;
    Relayout();
  }
  void FileListChanged() override { ++fileListChanges; }
  bool FileListHasFocus() const override { return listFocused; }
  bool IsMaximized() const override { return maximized; }
  // Runs while the window fades, as a window system's event loop would (a slideshow tick).
  std::function<void()> duringFade;
  void FadeOutAndHide() override {
    if (duringFade) duringFade();
    calls.push_back("fade");
    visible = false;
  }
  void ShowMaximized() override {
    calls.push_back("maximize");
    maximized = visible = true;
    Relayout();
  }
  void HideWindow() override {
    calls.push_back("hide");
    visible = false;
  }
  void RestoreWindow() override {
    calls.push_back("restore");
    maximized = false;
    visible = true;
    Relayout();
  }
  void MinimizeApplication() override {
    calls.push_back("minimize");
    minimized = true;
  }
  void CloseWindow() override { closed = true; }

  std::optional<std::string> BrowseForFolder(const std::string& text) override {
    browseTexts.push_back(text);
    if (folderAnswers.empty()) return std::nullopt;
    auto a = folderAnswers.front();
    folderAnswers.pop_front();
    return a;
  }
  void ShowMessage(const std::string& text, const std::string& cap) override {
    messages.emplace_back(text, cap);
  }
  void OpenInDefaultApplication(const std::string& path) override { opened.push_back(path); }
  void ShowInFileManager(const std::string& path) override { shownInFileManager.push_back(path); }
  Paste pasteRoute = Paste::kTyped;
  Paste PasteIntoDefaultEditor(const Bitmap&) override {
    calls.push_back("paste");
    return pasteRoute;
  }

  // The save dialog as it was set up at each showing; saveAnswers script the user's answers
  // (a name to confirm with, or nullopt to cancel; cancelled when none is left).
  std::vector<TSavePictureDialog> saveDialogs;
  std::deque<std::optional<std::string>> saveAnswers;
  int chosenFilterIndex = 0;  // when set, the filter the user picks before confirming
  bool ExecuteSaveDialog(TSavePictureDialog& d) override {
    saveDialogs.push_back(d);
    if (saveAnswers.empty() || !saveAnswers.front()) {
      if (!saveAnswers.empty()) saveAnswers.pop_front();
      return false;
    }
    d.FileName = *saveAnswers.front();
    saveAnswers.pop_front();
    if (chosenFilterIndex) d.FilterIndex = chosenFilterIndex;
    return true;
  }
  struct SaveRequest {
    Bitmap bitmap;
    std::string fileName;
  };
  std::vector<SaveRequest> saves;
  void StartSaveThread(const Bitmap& b, const std::string& name) override {
    saves.push_back({b, name});
  }

  bool clipboardAvailable = true;
  std::vector<Bitmap> clipboard;
  bool SetClipboardBitmap(const Bitmap& b) override {
    calls.push_back("clipboard");
    if (!clipboardAvailable) return false;
    clipboard.push_back(b);
    return true;
  }
  // What the "window" shows in the zoomer's area: every pixel this colour (blue, green, red).
  RGBQuad shown{10, 20, 30, 0};
  void RenderPictureArea(Bitmap& target) override {
    calls.push_back("capture");
    for (int y = 0; y < target.Height(); ++y)
      for (int x = 0; x < target.Width(); ++x) std::copy_n(&shown.blue, 4, target.Row(y) + 4 * x);
  }
};

// A form wired to a test host, as the front end wires the real one.
struct Viewer {
  TestHost host;
  TForm1 form{host, host, host, host, host, host, host};
  Viewer() { host.Attach(form); }
};

}  // namespace quendra::testing
