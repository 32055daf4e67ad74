#include "platform/qt/main_window.h"

#include <memory>

#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPropertyAnimation>
#include <QScreen>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include "app/popup_menu.h"
#include "base/paths.h"
#include "formats/tbitmap.h"
#include "platform/linux/user_folders.h"
#include "platform/linux/x11_window_state.h"
#include "platform/qt/key_map.h"
#include "platform/qt/picture_capture.h"
#include "platform/qt/platform_choice.h"
#include "platform/qt/save_picture_dialog.h"
#include "platform/qt/zoomer_view.h"

namespace quendra::qt {

namespace {
constexpr int kClientWidth = 570, kClientHeight = 387;
constexpr int kBorder = 5, kStatusHeight = 32, kPanel2Height = 34, kSplitterWidth = 2;

QString Show(const std::string& bytes) {
  return QString::fromUtf8(DisplayName(bytes));
}

// A URL's path as the bytes it names; names that are not valid UTF-8 survive this way.
std::string PathBytes(const QUrl& url) {
  return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

// A message box centred on the screen at the size it is shown with: the box wraps its text
// only when shown, so it is placed then, before it appears. It belongs to the main window
// (transient for it) and is always on top as the window is, so the window manager keeps it in
// front of the window rather than under it.
class CentredMessageBox : public QMessageBox {
 public:
  CentredMessageBox(QWidget* owner, const QString& caption, const QString& text)
      : QMessageBox(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner) {
    setTextFormat(Qt::PlainText);
    setWindowFlag(Qt::WindowStaysOnTopHint);
  }

 protected:
  void showEvent(QShowEvent* e) override {
    QMessageBox::showEvent(e);
    if (QScreen* s = screen()) move(s->geometry().center() - rect().center());
    // Qt leaves always-on-top off for a box that is not modal: the window manager is asked
    // once it manages the box.
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display* d = x11 ? x11->display() : nullptr;
    if (!d || !desktop::X11WindowManagerPresent(d)) return;
    auto* poll = new QTimer(this);
    auto tries = std::make_shared<int>(100);  // 2 s at most
    connect(poll, &QTimer::timeout, this, [this, d, poll, tries] {
      if (desktop::X11WindowManaged(d, winId())) {
        const auto state = desktop::X11NetWmState(d, winId());
        if (std::find(state.begin(), state.end(), "_NET_WM_STATE_ABOVE") == state.end())
          desktop::X11RequestNetWmState(d, winId(), true, "_NET_WM_STATE_ABOVE");
        poll->deleteLater();
      } else if (--*tries == 0) {
        poll->deleteLater();
      }
    });
    poll->start(20);
  }
};

}  // namespace

MainWindow::MainWindow()
    : saver_(std::make_unique<Saver>(
          dispatcher_,
          [this](const std::string& text, const std::string& caption) {
            ShowSaveMessage(text, caption);
          },
          [this](const std::string& text) { SetStatusText(text); })),
      form_(*this, *this, shell_, *this, clipboard_, *this, *saver_) {
  shell_.SetTypeKeys(!OnNativeWayland());
  form_.Timer.SetDispatcher(&dispatcher_);
  form_.Preload.SetDispatcher(&dispatcher_);
  setWindowTitle(kInitialCaption);
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
  QFont font("Tahoma");
  font.setPixelSize(13);
  setFont(font);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::white);
  pal.setColor(QPalette::Base, Qt::white);
  setPalette(pal);
  setAcceptDrops(true);
  BuildLayout();
  resize(kClientWidth, kClientHeight);
  if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
  layout()->activate();
  SetListPanelWidth(1);

  settle_.setSingleShot(true);
  settle_.setInterval(kSettleMs);
  connect(&settle_, &QTimer::timeout, this, [this] {
    if (PointerButtonHeld()) {
      settle_.start();  // still dragging: the end is the release
      return;
    }
    form_.Guarded([&] {
      // A settled change of size is the end of a resize; anything else was a move.
      if (size() == lastSettledSize_) form_.WindowMoving();
      lastSettledSize_ = size();
      form_.ExitSizeMove();
    });
  });
}

MainWindow::~MainWindow() {
  form_.IMG.OnInvalidate = nullptr;
  FinishSaves();
}

void MainWindow::FinishSaves() {
  saver_->WaitAll();
}

void MainWindow::BuildLayout() {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(kBorder, kBorder, kBorder, kBorder);
  outer->setSpacing(0);

  splitter_ = new QSplitter(Qt::Horizontal, this);
  splitter_->setHandleWidth(kSplitterWidth);
  splitter_->setOpaqueResize(false);  // drawn as a line while dragged; applied on release
  splitter_->setChildrenCollapsible(false);
  splitter_->setStyleSheet("QSplitter::handle { background: rgb(183, 219, 255); }");

  panel1_ = new QWidget(splitter_);
  panel1_->setMinimumWidth(1);
  auto* panelLayout = new QVBoxLayout(panel1_);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  panelLayout->setSpacing(0);
  auto* panel2 = new QWidget(panel1_);
  panel2->setFixedHeight(kPanel2Height);
  panel2->setMinimumWidth(1);
  folderButton_ = new QToolButton(panel2);
  folderButton_->setText("Select folder");
  folderButton_->setAutoRaise(true);  // flat
  folderButton_->setFocusPolicy(Qt::NoFocus);
  folderButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  folderButton_->setIconSize(QSize(16, 16));  // the glyph: ShowFolderGlyph
  folderButton_->setGeometry(8, 6, 121, 22);
  connect(folderButton_, &QToolButton::clicked, this,
          [this] { form_.Guarded([&] { form_.TntSpeedButton1Click(); }); });
  list_ = new QListWidget(panel1_);
  list_->setFrameShape(QFrame::NoFrame);
  list_->setMinimumWidth(1);
  list_->setUniformItemSizes(true);
  list_->setStyleSheet("QListWidget::item { height: 16px; padding: 0px; }");
  list_->setFocusPolicy(Qt::StrongFocus);
  panelLayout->addWidget(panel2);
  panelLayout->addWidget(list_);
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!updatingList_) form_.Guarded([&] { form_.FileListSelect(row); });
  });
  connect(list_, &QListWidget::itemDoubleClicked, this,
          [this] { form_.Guarded([&] { form_.FileListDblClick(); }); });

  zoomer_ = new ZoomerView(form_, splitter_);
  zoomer_->setFocusPolicy(Qt::NoFocus);
  splitter_->addWidget(panel1_);
  splitter_->addWidget(zoomer_);
  splitter_->setStretchFactor(0, 0);
  splitter_->setStretchFactor(1, 1);
  connect(splitter_, &QSplitter::splitterMoved, this, [this] {
    ShowFolderGlyph();
    form_.Guarded([&] { form_.TntSplitter1Moved(); });
  });

  status_ = new QLabel(this);
  status_->setFixedHeight(kStatusHeight);
  status_->setAlignment(Qt::AlignCenter);
  status_->setTextFormat(Qt::PlainText);  // a file named "<b>x.png" is shown as named

  outer->addWidget(splitter_, 1);
  outer->addWidget(status_);

  // Keys and the wheel are taken wherever they arrive in the window.
  installEventFilter(this);
  for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
  list_->setFocus();
}

// Looking the glyph up in the icon theme costs the start several milliseconds, and the
// collapsed list does not show it: it comes when the list first opens.
void MainWindow::ShowFolderGlyph() {
  if (folderButton_->icon().isNull())
    folderButton_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
}

void MainWindow::Start(const std::vector<std::string>& args, const std::string& exePath) {
  lastSettledSize_ = size();
  form_.SetVerbStore(&verbs_, exePath);
  form_.Guarded([&] { form_.FormCreate(args, exePath, desktop::UserPicturesFolder); });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(event);
    // Every key of the window takes the form's route: menu shortcuts, the window's handler,
    // the list's filter and the list's own handling; Qt's own handling is not used.
    form_.Guarded([&] { form_.KeyDown(VirtualKeyOf(k->key()), ShiftOf(k->modifiers())); });
    return true;
  }
  // A wheel step of the window system reaches the widget under the pointer as a spontaneous
  // event; what Qt passes on to the parents is not spontaneous, so each step counts once.
  if (event->type() == QEvent::Wheel && event->spontaneous()) {
    auto* w = static_cast<QWheelEvent*>(event);
    int delta = w->angleDelta().y() != 0 ? w->angleDelta().y() : w->angleDelta().x();
    if (delta != 0)  // the begin and end of a touchpad scroll carry no step
      form_.Guarded([&] { form_.TntFormMouseWheel(ShiftOf(w->modifiers(), w->buttons()), delta); });
    return false;  // the focused control's own wheel handling follows
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* e) {
  form_.Guarded([&] { form_.TntPopupMenu1Popup(); });
  QMenu menu(this);
  for (const MenuLine& line : VisibleMenu(form_)) {
    if (!line.item->onClick) {
      menu.addSeparator();
      continue;
    }
    QString text = QString::fromStdString(line.caption);
    if (!line.shortcut.empty()) text += "\t" + QString::fromStdString(line.shortcut);
    QAction* a = menu.addAction(text);
    a->setCheckable(line.checkable);
    a->setChecked(line.checked);
    auto handler = line.item->onClick;
    connect(a, &QAction::triggered, this,
            [this, handler] { form_.Guarded([&] { (form_.*handler)(); }); });
  }
  menu.exec(e->globalPos());
}

void MainWindow::dragEnterEvent(QDragEnterEvent* e) {
  if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* e) {
  const QList<QUrl> urls = e->mimeData()->urls();
  if (urls.isEmpty() || !urls.first().isLocalFile()) return;  // only local paths can be shown
  std::vector<std::string> paths{PathBytes(urls.first())};
  e->acceptProposedAction();
  form_.Guarded([&] { form_.FilesDropped(paths); });
}

void MainWindow::moveEvent(QMoveEvent* e) {
  QWidget::moveEvent(e);
  if (e->spontaneous() && !changingState_) settle_.start();
}

void MainWindow::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  if (e->spontaneous() && !changingState_) settle_.start();
}

// ---- WindowHost ----

void MainWindow::SetCaption(const std::string& text) {
  setWindowTitle(QString::fromUtf8(text));
}

void MainWindow::SetStatusText(const std::string& text) {
  status_->setText(Show(text));
}

int MainWindow::ListPanelWidth() const {
  return panel1_->width();
}

void MainWindow::SetListPanelWidth(int width) {
  if (width > 1) ShowFolderGlyph();
  const int total = splitter_->width() - splitter_->handleWidth();
  splitter_->setSizes({width, std::max(0, total - width)});
  // The zoomer's client size must be current before the caller reloads.
  zoomer_->SyncClientSize();
}

void MainWindow::FileListChanged() {
  updatingList_ = true;
  if (form_.FileList.Generation() != shownGeneration_) {
    const auto& items = form_.FileList.Items();
    list_->clear();
    QStringList names;
    names.reserve(qsizetype(items.size()));
    for (const auto& n : items) names << Show(n);
    list_->addItems(names);
    shownGeneration_ = form_.FileList.Generation();
  }
  list_->setCurrentRow(form_.FileList.ItemIndex());
  updatingList_ = false;
}

bool MainWindow::FileListHasFocus() const {
  return focusWidget() == list_ || focusWidget() == nullptr;
}

Display* MainWindow::X11() const {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 ? x11->display() : nullptr;
}

bool MainWindow::PointerButtonHeld() const {
  if (Display* d = X11()) return desktop::X11PointerButtonHeld(d);
  return QGuiApplication::mouseButtons() != Qt::NoButton;
}

bool MainWindow::ManagerSupports(const char* atom) const {
  if (!managerSupports_) managerSupports_ = desktop::X11NetSupported(X11());
  return std::find(managerSupports_->begin(), managerSupports_->end(), atom) !=
         managerSupports_->end();
}

// The window manager's word, where there is one: the mode is derived from it, so the core and
// the window cannot disagree. Elsewhere (native Wayland, a manager without the maximised
// states) Qt's own window state is the word.
bool MainWindow::IsMaximized() const {
  Display* d = X11();
  if (d && isVisible() && desktop::X11WindowManaged(d, winId()) &&
      ManagerSupports("_NET_WM_STATE_MAXIMIZED_VERT")) {
    const auto state = desktop::X11NetWmState(d, winId());
    return std::count(state.begin(), state.end(), "_NET_WM_STATE_MAXIMIZED_VERT") +
               std::count(state.begin(), state.end(), "_NET_WM_STATE_MAXIMIZED_HORZ") ==
           2;
  }
  return isMaximized();
}

void MainWindow::BeginStateChange() {
  changingState_ = true;
  settle_.stop();
  zoomer_->SetHeld(true);
}

void MainWindow::EndStateChange() {
  layout()->activate();
  zoomer_->SyncClientSize();
  // The size now is the mode's own: a late report of it is not the user's resize.
  lastSettledSize_ = size();
  settle_.stop();
  changingState_ = false;
  zoomer_->SetHeld(false);  // the caller reloads before the next paint
}

void MainWindow::WaitUntil(const std::function<bool()>& done, int limitMs) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < limitMs)
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
}

// A state written on a window that the window manager still manages is lost when it withdraws
// it, and the window comes back plain: the next show waits for the withdrawal.
void MainWindow::WaitUntilWithdrawn() {
  Display* d = X11();
  if (!d || !desktop::X11WindowManagerPresent(d)) return;
  WaitUntil([&] { return !desktop::X11WindowManaged(d, winId()); });
}

void MainWindow::WaitUntilShown(bool maximized, QSize before) {
  Display* d = X11();
  if (!d || !desktop::X11WindowManagerPresent(d)) {
    // Nobody to ask: a platform that applies the state does so at once or very soon.
    WaitUntil([&] { return size() != before; }, kNoManagerWaitMs);
    return;
  }
  auto has = [&](const std::vector<std::string>& state, const char* atom) {
    return std::find(state.begin(), state.end(), atom) != state.end();
  };
  // Only what the manager can do is waited for.
  const bool above = ManagerSupports("_NET_WM_STATE_ABOVE");
  const bool maxStates = ManagerSupports("_NET_WM_STATE_MAXIMIZED_VERT") &&
                         ManagerSupports("_NET_WM_STATE_MAXIMIZED_HORZ");
  auto maximizedAsAsked = [&](const std::vector<std::string>& state) {
    return !maxStates || (has(state, "_NET_WM_STATE_MAXIMIZED_VERT") == maximized &&
                          has(state, "_NET_WM_STATE_MAXIMIZED_HORZ") == maximized);
  };
  auto reached = [&] {
    if (!desktop::X11WindowManaged(d, winId())) return false;
    const auto state = desktop::X11NetWmState(d, winId());
    return (!above || has(state, "_NET_WM_STATE_ABOVE")) && maximizedAsAsked(state);
  };
  WaitUntil([&] { return desktop::X11WindowManaged(d, winId()); });
  if (!reached()) {
    // The manager mapped the window without the state it was given: ask it again, as for a
    // shown window.
    const auto state = desktop::X11NetWmState(d, winId());
    if (above && !has(state, "_NET_WM_STATE_ABOVE"))
      desktop::X11RequestNetWmState(d, winId(), true, "_NET_WM_STATE_ABOVE");
    if (!maximizedAsAsked(state))
      desktop::X11RequestNetWmState(d, winId(), maximized, "_NET_WM_STATE_MAXIMIZED_VERT",
                                    "_NET_WM_STATE_MAXIMIZED_HORZ");
  }
  WaitUntil(reached);
  // The new size reaches the widget through the configure event that follows.
  WaitUntil([&] { return size() != before && size() == windowHandle()->size(); });
}

void MainWindow::FadeOutAndHide() {
  BeginStateChange();
  if (!isMaximized()) normalGeometry_ = geometry();
  // A Wayland client can neither fade its window nor get a withdrawn one back at its state:
  // the state changes on the shown window (the compositor animates it, if at all).
  if (OnNativeWayland()) return;
  QPropertyAnimation fade(this, "windowOpacity");
  fade.setDuration(200);
  fade.setStartValue(1.0);
  fade.setEndValue(0.0);
  QEventLoop loop;
  connect(&fade, &QPropertyAnimation::finished, &loop, &QEventLoop::quit);
  fade.start();
  if (fade.state() == QAbstractAnimation::Running) loop.exec(QEventLoop::ExcludeUserInputEvents);
  hide();
  WaitUntilWithdrawn();
  setWindowOpacity(1.0);
}

void MainWindow::ShowMaximized() {
  QSize before = size();
  showMaximized();
  activateWindow();
  raise();
  WaitUntilShown(true, before);
  EndStateChange();
}

void MainWindow::HideWindow() {
  BeginStateChange();
  if (OnNativeWayland()) return;  // as for FadeOutAndHide
  hide();
  WaitUntilWithdrawn();
}

void MainWindow::RestoreWindow() {
  QSize before = size();
  // A window manager maps a withdrawn window at the size it has; not every one remembers the
  // size it had before it was maximised.
  if (normalGeometry_.isValid() && !OnNativeWayland()) setGeometry(normalGeometry_);
  showNormal();
  activateWindow();
  WaitUntilShown(false, before);
  EndStateChange();
}

void MainWindow::MinimizeApplication() {
  showMinimized();
}

void MainWindow::CloseWindow() {
  close();
}

// ---- DialogHost ----

std::optional<std::string> MainWindow::BrowseForFolder(const std::string& text) {
  // Opens where the user is: the listed folder, else the shown file's, else the root.
  std::string at =
      form_.CurrentFolder.empty() ? ExtractFilePath(form_.CurrentFile) : form_.CurrentFolder;
  if (at.empty()) at.push_back(kPathDelimiter);
  QString dir = QFileDialog::getExistingDirectory(this, QString::fromUtf8(text),
                                                  QFile::decodeName(QByteArray::fromStdString(at)),
                                                  QFileDialog::ShowDirsOnly);
  if (dir.isEmpty()) return std::nullopt;
  return QFile::encodeName(dir).toStdString();
}

void MainWindow::ShowMessage(const std::string& text, const std::string& caption) {
  CentredMessageBox box(this, QString::fromUtf8(caption), QString::fromUtf8(text));
  box.exec();
}

// A save's message leaves the window usable: the box is not modal, and the save it belongs to
// ends when it is closed.
void MainWindow::ShowSaveMessage(const std::string& text, const std::string& caption) {
  CentredMessageBox box(this, QString::fromUtf8(caption), QString::fromUtf8(text));
  box.setWindowModality(Qt::NonModal);
  QEventLoop loop;
  connect(&box, &QMessageBox::finished, &loop, &QEventLoop::quit);
  box.show();
  loop.exec();
}

// ---- Saving and capturing ----

bool MainWindow::ExecuteSaveDialog(TSavePictureDialog& dialog) {
  return ExecSaveDialog(this, dialog, form_.CurrentFile);
}

void MainWindow::RenderPictureArea(Bitmap& target) {
  RenderWidgetInto(*zoomer_, target);
}

}  // namespace quendra::qt
