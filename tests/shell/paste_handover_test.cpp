#include "shell/paste_handover.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace quendra {
namespace {

using namespace std::chrono_literals;

// One fake desktop for all three interfaces; every request lands in `log` in order.
class FakeDesktop : public ProgramAssociations, public WindowProcesses, public ProgramLauncher {
 public:
  std::map<std::string, std::string> associations;  // extension -> executable
  std::map<std::string, ProcessId> processes;       // upper-cased executable -> process
  std::map<ProcessId, WindowHandle> windows;
  bool activationSucceeds = true, launchSucceeds = true;
  int windowAppearsAfterPolls = -1;  // a started editor's window shows after this many polls
  ProcessId startedPid = 77;
  WindowHandle startedWindow = 0x700;
  std::vector<std::string> log;

  std::string GetAssociatedExecutable(const std::string& ext) override {
    log.push_back("assoc " + ext);
    auto it = associations.find(ext);
    return it == associations.end() ? "" : it->second;
  }
  ProcessId FindProcessByExecutable(const std::string& path) override {
    log.push_back("process " + path);
    auto it = processes.find(UpperCase(path));
    return it == processes.end() ? 0 : it->second;
  }
  WindowHandle FindWindowOfProcess(ProcessId pid) override {
    log.push_back("window " + std::to_string(pid));
    if (pid == startedPid && started && polls++ == windowAppearsAfterPolls)
      windows[pid] = startedWindow;
    auto it = windows.find(pid);
    return it == windows.end() ? kNoWindow : it->second;
  }
  bool RestoreAndActivateWindow(WindowHandle w) override {
    log.push_back("activate " + std::to_string(w));
    return activationSucceeds;
  }
  void SendPasteKeystrokes() override { log.push_back("ctrl+v"); }
  bool StartExecutable(const std::string& path) override {
    log.push_back("start " + path);
    if (!launchSucceeds) return false;
    started = true;
    processes[UpperCase(path)] = startedPid;
    return true;
  }
  void OpenInDefaultApplication(const std::string& path) override { log.push_back("open " + path); }
  void ShowInFileManager(const std::string& path) override { log.push_back("show " + path); }

  // Steps the hand-over left for the event loop; run by RunSteps.
  std::vector<std::function<void()>> pending;
  std::vector<std::chrono::milliseconds> pauses;
  void Paste() {
    PasteIntoDefaultEditor(*this, *this, *this, [this](auto d, std::function<void()> next) {
      pauses.push_back(d);
      log.push_back("pause " + std::to_string(d.count()));
      pending.push_back(std::move(next));
    });
    RunSteps();
  }
  void RunSteps() {
    while (!pending.empty()) {
      auto next = std::move(pending.front());
      pending.erase(pending.begin());
      next();
    }
  }

 private:
  bool started = false;
  int polls = 0;
};

TEST(PasteIntoDefaultEditor, RunningEditorIsActivatedThenPastedIntoAfterHalfASecond) {
  FakeDesktop d;
  d.associations[".bmp"] = "/usr/bin/pinta";
  d.associations[".png"] = "/usr/bin/other";
  d.processes["/USR/BIN/PINTA"] = 42;  // started as /usr/bin/Pinta: case does not matter
  d.windows[42] = 0x500;
  d.activationSucceeds = false;  // a refused activation changes nothing
  d.Paste();
  EXPECT_EQ(d.log, (std::vector<std::string>{"assoc .bmp", "process /usr/bin/pinta", "window 42",
                                             "activate 1280", "pause 500", "ctrl+v"}));
}

TEST(PasteIntoDefaultEditor, EditorWithoutUsableWindowIsStartedAndAwaited) {
  FakeDesktop d;
  d.associations[".bmp"] = "/opt/paint";
  d.processes["/OPT/PAINT"] = 9;  // running, but no shown window that takes input
  d.startedPid = 9;               // the new instance is found as the same executable
  d.windowAppearsAfterPolls = 2;
  d.Paste();
  EXPECT_EQ(d.log, (std::vector<std::string>{
                       "assoc .bmp", "process /opt/paint", "window 9", "start /opt/paint",
                       "pause 100", "process /opt/paint", "window 9",  // nothing yet
                       "pause 100", "process /opt/paint", "window 9",  // nothing yet
                       "pause 100", "process /opt/paint", "window 9",  // there it is
                       "activate 1792", "pause 500", "ctrl+v"}));
}

TEST(PasteIntoDefaultEditor, TypesNothingWhenThereIsNoEditorWindowToReceiveIt) {
  {  // no association: no process lookup, no launch of an empty path
    FakeDesktop d;
    d.Paste();
    EXPECT_EQ(d.log, std::vector<std::string>{"assoc .bmp"});
  }
  {  // the editor cannot be started
    FakeDesktop d;
    d.associations[".bmp"] = "/gone/editor";
    d.launchSucceeds = false;
    d.Paste();
    EXPECT_EQ(d.log.back(), "start /gone/editor");
    EXPECT_TRUE(d.pauses.empty());
  }
  {  // started, but it never shows a window: the wait is bounded
    FakeDesktop d;
    d.associations[".bmp"] = "/usr/bin/slow";
    d.Paste();
    std::chrono::milliseconds waited{0};
    for (auto p : d.pauses) waited += p;
    EXPECT_EQ(waited, kNewEditorWait);
    EXPECT_EQ(std::count(d.log.begin(), d.log.end(), "ctrl+v"), 0);
  }
}

// A desktop whose editor has a desktop entry: started through it, found by its window class
// or, failing that, by the process the launch reports.
class EntryDesktop : public FakeDesktop {
 public:
  DesktopApplication app{"/usr/bin/env", "paint.desktop", "Paint"};
  std::map<std::string, WindowHandle> classes;
  ProcessId launchedPid = 0;
  DesktopApplication GetAssociatedApplication(const std::string& ext) override {
    log.push_back("app " + ext);
    return app;
  }
  WindowHandle FindWindowByClass(const std::string& c) override {
    log.push_back("class " + c);
    auto it = classes.find(c);
    return it == classes.end() ? kNoWindow : it->second;
  }
  std::optional<ProcessId> StartApplication(const DesktopApplication& a) override {
    log.push_back("launch " + a.desktopId);
    return launchedPid;
  }
  void RequestActivation(WindowHandle w) override { log.push_back("ask " + std::to_string(w)); }
};

TEST(PasteIntoDefaultEditor, WaitsRunFromTheEventLoopAndEntriesAreLaunchedAsTheDesktopDoes) {
  EntryDesktop d;
  PasteIntoDefaultEditor(d, d, d, [&](auto delay, std::function<void()> next) {
    d.log.push_back("pause " + std::to_string(delay.count()));
    d.pending.push_back(std::move(next));
  });
  // The call came back at once, with the first poll left for the event loop.
  EXPECT_EQ(d.log, (std::vector<std::string>{"app .bmp", "process /usr/bin/env", "class Paint",
                                             "launch paint.desktop", "pause 100"}));
  d.classes["Paint"] = 0x900;  // a wrapped editor's window carries the entry's class
  d.log.clear();
  d.RunSteps();
  EXPECT_EQ(d.log, (std::vector<std::string>{"process /usr/bin/env", "class Paint", "ask 2304",
                                             "pause 500", "ctrl+v"}));

  EntryDesktop byPid;  // no class match: the launched process's window is taken
  byPid.app.windowClass.clear();
  byPid.launchedPid = 31;
  byPid.windows[31] = 0x31;
  byPid.Paste();
  EXPECT_EQ(byPid.log.back(), "ctrl+v");
  EXPECT_NE(std::find(byPid.log.begin(), byPid.log.end(), "ask 49"), byPid.log.end());
}

TEST(FindWindowByExecutable, ProcessZeroIsNotAskedForWindows) {
  FakeDesktop d;
  EXPECT_EQ(FindWindowByExecutable(d, "/nowhere"), kNoWindow);
  EXPECT_EQ(d.log, std::vector<std::string>{"process /nowhere"});
}

TEST(SameExecutableName, IgnoresCaseButNothingElse) {
  EXPECT_TRUE(SameExecutableName("/usr/bin/Pinta", "/USR/BIN/pinta"));
  EXPECT_TRUE(SameExecutableName("/opt/Éditeur/straße", "/OPT/éDITEUR/STRAßE"));
  EXPECT_TRUE(SameExecutableName("gimp-2.10", "GIMP-2.10"));
  EXPECT_FALSE(SameExecutableName("/usr/bin/pinta", "/usr//bin/pinta"));
  EXPECT_FALSE(SameExecutableName("/usr/bin/pinta", "/usr/bin/../bin/pinta"));
  EXPECT_FALSE(SameExecutableName("/usr/bin/pinta", "pinta"));
  EXPECT_EQ(UpperCase("ä\xff"
                      "b\xc3"),
            "Ä\xff"
            "B\xc3");  // stray bytes are kept
  EXPECT_EQ(UpperCase("ωσ"), "ΩΣ");
}

}  // namespace
}  // namespace quendra
