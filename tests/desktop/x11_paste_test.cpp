// The paste hand-over against a real X server (Xvfb, no window manager): fake applications
// play the default bitmap editor and a window that holds the focus before.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "desktop/desktop_sandbox.h"
#include "platform/linux/desktop_launcher.h"
#include "platform/linux/gio_associations.h"
#include "platform/linux/proc_processes.h"
#include "platform/linux/x11_windows.h"
#include "shell/paste_handover.h"

namespace quendra {
namespace {

using desktop::X11WindowProcesses;
using testing::ChildProcess;
using testing::Sandbox;
using testing::XvfbServer;

const std::vector<std::string> kCtrlV = {"press Control_L", "press v", "release v",
                                         "release Control_L"};

std::vector<std::string> KeyEvents(pid_t pid) {
  std::vector<std::string> keys;
  for (const auto& l : Sandbox().reports->From(pid))
    if (l.starts_with("press ") || l.starts_with("release ")) keys.push_back(l);
  return keys;
}

// The window id a fake application reported when its window was up.
WindowHandle ReadyWindow(pid_t pid) {
  for (const auto& l : Sandbox().reports->From(pid))
    if (l.starts_with("ready ")) return std::stoull(l.substr(6));
  return kNoWindow;
}

bool AwaitReady(pid_t pid) {
  return Sandbox().reports->WaitFor([pid](const auto&) { return ReadyWindow(pid) != kNoWindow; });
}

class X11Paste : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!XvfbServer::Installed()) return;
    server_ = new XvfbServer;
    if (server_->Start()) setenv("DISPLAY", server_->Name().c_str(), 1);
  }
  static void TearDownTestSuite() {
    unsetenv("DISPLAY");
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (server_ == nullptr) GTEST_SKIP() << "Xvfb is not installed (scripts/setup.sh installs it)";
    ASSERT_FALSE(server_->Name().empty()) << "Xvfb did not come up";
    windows_ = std::make_unique<X11WindowProcesses>(server_->Name());
  }
  void TearDown() override {
    // Editors that the hand-over started are not our children.
    for (pid_t pid : started_) kill(pid, SIGTERM);
  }

  // Starts a fake application from `exe` and waits until its window is up.
  ChildProcess Launch(const std::string& exe, std::vector<std::string> args = {}) {
    args.insert(args.begin(), exe);
    ChildProcess child(args);
    EXPECT_GT(child.Pid(), 0);
    EXPECT_TRUE(AwaitReady(child.Pid()));
    return child;
  }
  // Another application: a copy of the fake one under another name.
  std::string OtherApplication(const std::string& name = "other-app") {
    const std::string other = Sandbox().root + "/" + name;
    if (!std::filesystem::exists(other)) std::filesystem::copy_file(Sandbox().fakeEditor, other);
    return other;
  }

  static XvfbServer* server_;
  std::unique_ptr<X11WindowProcesses> windows_;
  std::vector<pid_t> started_;
};
XvfbServer* X11Paste::server_ = nullptr;

// The hand-over's steps, run at once instead of from an event loop.
void RunAtOnce(std::chrono::milliseconds, const std::function<void()>& next) {
  next();
}

TEST_F(X11Paste, WindowOfProcessMustBeShownAndTakeInput) {
  ChildProcess refusing = Launch(Sandbox().fakeEditor, {"--no-input"});
  ChildProcess unmapped = Launch(Sandbox().fakeEditor, {"--unmapped"});
  ChildProcess normal = Launch(Sandbox().fakeEditor);
  EXPECT_EQ(windows_->FindWindowOfProcess(static_cast<ProcessId>(refusing.Pid())), kNoWindow);
  EXPECT_EQ(windows_->FindWindowOfProcess(static_cast<ProcessId>(unmapped.Pid())), kNoWindow);
  EXPECT_EQ(windows_->FindWindowOfProcess(static_cast<ProcessId>(normal.Pid())),
            ReadyWindow(normal.Pid()));
  EXPECT_EQ(windows_->FindWindowOfProcess(0), kNoWindow);
  // The first process of that executable is the refusing one: it is the only one considered.
  EXPECT_EQ(FindWindowByExecutable(*windows_, Sandbox().fakeEditor), kNoWindow);
}

TEST_F(X11Paste, RunningEditorIsActivatedAndReceivesCtrlV) {
  ChildProcess other = Launch(OtherApplication());
  ChildProcess editor = Launch(Sandbox().fakeEditor);
  ASSERT_TRUE(windows_->RestoreAndActivateWindow(ReadyWindow(other.Pid())));  // focus elsewhere

  desktop::GioAssociations associations;
  desktop::DesktopLauncher launcher;
  PasteIntoDefaultEditor(associations, *windows_, launcher, RunAtOnce);

  EXPECT_TRUE(
      Sandbox().reports->WaitFor([&](const auto&) { return KeyEvents(editor.Pid()).size() >= 4; }));
  EXPECT_EQ(KeyEvents(editor.Pid()), kCtrlV);
  EXPECT_TRUE(KeyEvents(other.Pid()).empty());
}

TEST_F(X11Paste, EditorNotRunningIsStartedAndPastedIntoOnceItsWindowIsUp) {
  ChildProcess other = Launch(OtherApplication());
  ASSERT_TRUE(windows_->RestoreAndActivateWindow(ReadyWindow(other.Pid())));

  // The hand-over's pauses wait for what they are there for: the new editor's window.
  const std::string editor = Sandbox().fakeEditor;
  auto newEditor = [&]() -> pid_t {
    const std::vector<std::string> lines = Sandbox().reports->Lines();  // copied: read below
    for (const auto& l : lines) {
      const pid_t pid = std::stoi(l.substr(0, l.find(' ')));
      if (pid != other.Pid() && l.ends_with(" started") && ReadyWindow(pid) != kNoWindow &&
          desktop::FindProcessByExecutableIn("/proc", editor) == static_cast<ProcessId>(pid))
        return pid;
    }
    return 0;
  };
  desktop::GioAssociations associations;
  desktop::DesktopLauncher launcher;
  PasteIntoDefaultEditor(
      associations, *windows_, launcher, [&](auto, const std::function<void()>& next) {
        Sandbox().reports->WaitFor([&](const auto&) { return newEditor() != 0; });
        next();
      });
  const pid_t started = newEditor();
  ASSERT_NE(started, 0) << "the editor was not started";
  started_.push_back(started);

  EXPECT_TRUE(
      Sandbox().reports->WaitFor([&](const auto&) { return KeyEvents(started).size() >= 4; }));
  EXPECT_EQ(KeyEvents(started), kCtrlV);
  EXPECT_TRUE(KeyEvents(other.Pid()).empty());
}

TEST_F(X11Paste, EditorStartsThroughItsDesktopEntryAsTheProcessThatShowsTheWindow) {
  desktop::GioAssociations associations;
  const DesktopApplication app = associations.GetAssociatedApplication(".bmp");
  EXPECT_EQ(app.desktopId, "quendra-fake-editor.desktop");
  desktop::DesktopLauncher launcher;
  const std::optional<ProcessId> pid = launcher.StartApplication(app);
  ASSERT_TRUE(pid.has_value() && *pid > 0);
  started_.push_back(static_cast<pid_t>(*pid));
  EXPECT_TRUE(AwaitReady(static_cast<pid_t>(*pid)));
  EXPECT_EQ(windows_->FindWindowOfProcess(*pid), ReadyWindow(static_cast<pid_t>(*pid)));
  EXPECT_EQ(windows_->FindWindowByClass(""), kNoWindow);

  // With a file, the entry's %f receives its path whole, spaces and all.
  const std::string file = Sandbox().root + "/a picture.bmp";
  const std::optional<ProcessId> withFile = launcher.StartApplicationWithFile(app, file);
  ASSERT_TRUE(withFile.has_value() && *withFile > 0);
  started_.push_back(static_cast<pid_t>(*withFile));
  EXPECT_TRUE(Sandbox().reports->WaitFor([&](const auto&) {
    const auto lines = Sandbox().reports->From(static_cast<pid_t>(*withFile));
    return std::find(lines.begin(), lines.end(), "argv " + file) != lines.end();
  }));
}

TEST_F(X11Paste, UnderAWindowManagerAMinimisedEditorIsRestoredActivatedAndPastedInto) {
  ChildProcess wm = Launch(OtherApplication("fake-wm"), {"--wm"});
  ChildProcess other = Launch(OtherApplication());
  ChildProcess editor = Launch(Sandbox().fakeEditor, {"--iconic"});
  const WindowHandle editorWindow = ReadyWindow(editor.Pid());
  const auto activated = [&](WindowHandle w) {
    return Sandbox().reports->WaitFor([&](const auto&) {
      const auto lines = Sandbox().reports->From(wm.Pid());
      return std::find(lines.begin(), lines.end(), "activate " + std::to_string(w)) != lines.end();
    });
  };
  ASSERT_TRUE(windows_->RestoreAndActivateWindow(ReadyWindow(other.Pid())));
  ASSERT_TRUE(activated(ReadyWindow(other.Pid())));
  // Minimised, the editor's window is still the one chosen (from the manager's client list).
  EXPECT_EQ(FindWindowByExecutable(*windows_, Sandbox().fakeEditor), editorWindow);

  desktop::GioAssociations associations;
  desktop::DesktopLauncher launcher;
  // The hand-over's pause before typing is there for the manager to move the focus: wait for it.
  bool wasActivated = false;
  PasteIntoDefaultEditor(associations, *windows_, launcher,
                         [&](auto, const std::function<void()>& next) {
                           wasActivated = activated(editorWindow);
                           next();
                         });

  EXPECT_TRUE(wasActivated);
  EXPECT_TRUE(
      Sandbox().reports->WaitFor([&](const auto&) { return KeyEvents(editor.Pid()).size() >= 4; }));
  EXPECT_EQ(KeyEvents(editor.Pid()), kCtrlV);
  EXPECT_TRUE(KeyEvents(other.Pid()).empty());
}

TEST(X11WithoutServer, WindowAndKeystrokeStepsYieldNothing) {
  X11WindowProcesses windows(":quendra-no-such-display");
  EXPECT_EQ(windows.FindWindowOfProcess(static_cast<ProcessId>(getpid())), kNoWindow);
  EXPECT_FALSE(windows.RestoreAndActivateWindow(0x1234));
  windows.SendPasteKeystrokes();  // nothing to send to, and no crash
  EXPECT_EQ(windows.FindProcessByExecutable("/proc/self/exe-not"), 0u);  // processes still work
}

}  // namespace
}  // namespace quendra
