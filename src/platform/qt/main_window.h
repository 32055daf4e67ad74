#pragma once
// The main window on Qt: builds the fixed layout, turns Qt events into calls of the form's
// handlers and carries out what the form asks through the host interfaces.
#include <QLabel>
#include <QListWidget>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <functional>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/host.h"
#include "app/main_form.h"
#include "app/picture_hosts.h"
#include "platform/linux/desktop_shell.h"
#include "platform/linux/file_manager_actions.h"
#include "platform/qt/clipboard_host.h"
#include "platform/qt/qt_dispatcher.h"
#include "saving/save_thread.h"

typedef struct _XDisplay Display;

namespace quendra::qt {

class ZoomerView;

class MainWindow : public QWidget,
                   public WindowHost,
                   public DialogHost,
                   public SaveDialogHost,
                   public CaptureHost {
  Q_OBJECT
 public:
  MainWindow();
  ~MainWindow() override;
  // Runs the form's start-up with the raw command-line arguments (after the program name).
  void Start(const std::vector<std::string>& args, const std::string& exePath);

  TForm1& Form() { return form_; }
  QListWidget* FileListWidget() const { return list_; }
  QLabel* StatusLabel() const { return status_; }
  ZoomerView* Zoomer() const { return zoomer_; }

  // WindowHost
  void SetCaption(const std::string& text) override;
  void SetStatusText(const std::string& text) override;
  int ListPanelWidth() const override;
  void SetListPanelWidth(int width) override;
  void FileListChanged() override;
  bool FileListHasFocus() const override;
  bool IsMaximized() const override;
  void FadeOutAndHide() override;
  void ShowMaximized() override;
  void HideWindow() override;
  void RestoreWindow() override;
  void MinimizeApplication() override;
  void CloseWindow() override;
  // DialogHost
  std::optional<std::string> BrowseForFolder(const std::string& text) override;
  void ShowMessage(const std::string& text, const std::string& caption) override;
  // SaveDialogHost
  bool ExecuteSaveDialog(TSavePictureDialog& dialog) override;
  // CaptureHost
  void RenderPictureArea(Bitmap& target) override;

  // Waits for the saves still running (showing their messages meanwhile); at exit, so that
  // quitting during a save still leaves the whole file.
  void FinishSaves();

  // This desktop sends no end-of-move-or-size message: a move or resize by the user counts as
  // ended when no further one has arrived for this long (mouse held still or released).
  // A pause with a pointer button still held is not the end: the release is waited for.
  static constexpr int kSettleMs = 300;
  void SetSettleDelay(int ms) { settle_.setInterval(ms); }
  bool SettlePending() const { return settle_.isActive(); }
  // How long a state change waits for the window manager at most, and for a new size where
  // no window manager reports the state.
  static constexpr int kStateWaitMs = 2000, kNoManagerWaitMs = 500;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent*) override;
  void dragEnterEvent(QDragEnterEvent*) override;
  void dropEvent(QDropEvent*) override;
  void moveEvent(QMoveEvent*) override;
  void resizeEvent(QResizeEvent*) override;

 private:
  void BuildLayout();
  void ShowSaveMessage(const std::string& text, const std::string& caption);
  // A change of window state runs from the hide to the end of the show; size changes meanwhile
  // are the change's own, never the user's, and the picture area paints nothing stale.
  void BeginStateChange();
  void EndStateChange();
  // Serves window-system events (no user input) until done() holds or limitMs passed.
  void WaitUntil(const std::function<bool()>& done, int limitMs = kStateWaitMs);
  // The window is withdrawn: the window manager has handled the hide.
  void WaitUntilWithdrawn();
  // The window is mapped, managed and maximised (or not) as asked, and keeps always-on-top.
  void WaitUntilShown(bool maximized, QSize before);
  bool PointerButtonHeld() const;
  void ShowFolderGlyph();
  // The X11 display when running on X11 (not on the offscreen platform), else null.
  Display* X11() const;
  // The window manager lists the state in _NET_SUPPORTED (read once: a manager that cannot
  // keep a window above, weston's for XWayland, is never waited for).
  bool ManagerSupports(const char* atom) const;

  // These outlive the form: its timer hands ticks to the dispatcher, its commands use the
  // shell, the clipboard and the saver.
  QtDispatcher dispatcher_;
  desktop::DesktopShell shell_;
  desktop::FileManagerActions verbs_;
  QtClipboard clipboard_;
  std::unique_ptr<Saver> saver_;
  TForm1 form_;
  QWidget* panel1_ = nullptr;
  QSplitter* splitter_ = nullptr;
  QListWidget* list_ = nullptr;
  QToolButton* folderButton_ = nullptr;
  ZoomerView* zoomer_ = nullptr;
  QLabel* status_ = nullptr;
  QTimer settle_;
  bool updatingList_ = false;
  bool changingState_ = false;
  uint64_t shownGeneration_ = ~uint64_t(0);
  QSize lastSettledSize_;
  QRect normalGeometry_;  // where the normal window was before it was maximised
  mutable std::optional<std::vector<std::string>> managerSupports_;
};

}  // namespace quendra::qt
