#pragma once
// The main window on Qt: builds the fixed layout, turns Qt events into calls of the form's
// handlers and carries out what the form asks through the host interfaces.
#include <QLabel>
#include <QListWidget>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QWidget>

#include <memory>

#include "app/host.h"
#include "app/main_form.h"
#include "app/picture_hosts.h"
#include "imaging/save_thread.h"
#include "platform/linux/desktop_shell.h"
#include "platform/linux/file_manager_actions.h"
#include "platform/qt/clipboard_host.h"
#include "platform/qt/qt_dispatcher.h"

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
  static constexpr int kSettleMs = 300;
  void SetSettleDelay(int ms) { settle_.setInterval(ms); }
  bool SettlePending() const { return settle_.isActive(); }

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
  void WaitForGeometryChange(QSize before);

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
  const void* lastWheel_ = nullptr;
  uint64_t shownGeneration_ = ~uint64_t(0);
  QSize lastSettledSize_;
};

}  // namespace quendra::qt
