#pragma once
// The host boundary: everything the viewer's logic asks of the window system and the desktop.
// The Qt front end implements these for real; tests/support/ has a scriptable host that records
// every request. All calls happen on the main thread.
#include <optional>
#include <string>

#include "base/bitmap.h"

namespace quendra {

class WindowHost {
 public:
  virtual ~WindowHost() = default;
  virtual void SetCaption(const std::string& text) = 0;
  virtual void SetStatusText(const std::string& text) = 0;

  // Width of the file-list panel. Setting it lays the window out again at once, and the host
  // passes the zoomer's new client size to it before returning.
  virtual int ListPanelWidth() const = 0;
  virtual void SetListPanelWidth(int width) = 0;

  // The file list's items or selection changed: show them.
  virtual void FileListChanged() = 0;
  // Whether the file list holds the keyboard focus (the only control that takes it).
  virtual bool FileListHasFocus() const = 0;

  virtual bool IsMaximized() const = 0;
  virtual void FadeOutAndHide() = 0;  // fade out over 200 ms, then hide
  virtual void ShowMaximized() = 0;   // show maximised and activated
  virtual void HideWindow() = 0;
  virtual void RestoreWindow() = 0;  // normal size and position, shown
  virtual void MinimizeApplication() = 0;
  virtual void CloseWindow() = 0;
};

class DialogHost {
 public:
  virtual ~DialogHost() = default;
  // Modal folder browser rooted at the filesystem root, folders only; nullopt when cancelled.
  virtual std::optional<std::string> BrowseForFolder(const std::string& text) = 0;
  // Modal message box with one OK button, no icon, centred on the screen.
  virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
};

}  // namespace quendra

namespace quendra {

// Handing the current picture to other applications of the desktop.
class ShellHost {
 public:
  virtual ~ShellHost() = default;
  // Opens the file in the desktop's default application for it; reports nothing on failure.
  virtual void OpenInDefaultApplication(const std::string& path) = 0;
  // Shows the file selected in the file manager; reports nothing on failure.
  virtual void ShowInFileManager(const std::string& path) = 0;
  // How the clipboard's picture reaches the default bitmap editor.
  enum class Paste {
    kTyped,   // Ctrl+V is typed into the editor's window (started when not running)
    kByUser,  // the editor is started, but only the user may paste there (no typing allowed)
    kOpened,  // the editor is started on a copy of the picture (its Ctrl+V would not paste it)
  };
  // After the clipboard holds `picture`.
  virtual Paste PasteIntoDefaultEditor(const Bitmap& picture) = 0;
};

}  // namespace quendra
