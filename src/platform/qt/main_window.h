#pragma once
// The main window on Qt: builds the fixed layout, turns Qt events into calls of the form's
// handlers and carries out what the form asks through the host interfaces.
#include <QLabel>
#include <QListWidget>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QWidget>

#include "app/host.h"
#include "app/main_form.h"

namespace quendra::qt {

class ZoomerView;

class MainWindow : public QWidget, public WindowHost, public DialogHost, public ShellHost {
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
  // ShellHost
  void OpenInDefaultApplication(const std::string& path) override;
  void ShowInFileManager(const std::string& path) override;

  // Delay after the last user move or resize at which the move-or-size loop counts as ended.
  static constexpr int kSettleMs = 300;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent*) override;
  void dragEnterEvent(QDragEnterEvent*) override;
  void dropEvent(QDropEvent*) override;
  void moveEvent(QMoveEvent*) override;
  void resizeEvent(QResizeEvent*) override;

 private:
  void BuildLayout();
  void WaitForGeometryChange(QSize before);

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
  std::vector<std::string> shownItems_;
  QSize lastSettledSize_;
};

}  // namespace quendra::qt
