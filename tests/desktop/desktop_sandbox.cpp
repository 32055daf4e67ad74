#include "desktop/desktop_sandbox.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "support/temp_dir.h"

namespace quendra::testing {

namespace {

std::unique_ptr<TempDir> g_dir;
std::unique_ptr<ReportChannel> g_reports;
DesktopSandbox g_sandbox;

class SandboxEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    g_dir = std::make_unique<TempDir>();
    const std::string root = g_dir->Path();
    char resolved[PATH_MAX];
    g_sandbox.root = realpath(root.c_str(), resolved) ? resolved : root;
    g_sandbox.fakeEditor = realpath(QUENDRA_FAKE_EDITOR, resolved) ? resolved : QUENDRA_FAKE_EDITOR;
    std::filesystem::create_directories(root + "/data/applications");
    std::filesystem::create_directories(root + "/config");
    std::ofstream(root + "/data/applications/quendra-fake-editor.desktop")
        << "[Desktop Entry]\nType=Application\nName=Fake editor\nExec=" << g_sandbox.fakeEditor
        << " %f\nMimeType=image/bmp;image/png;inode/directory;\n";
    std::ofstream(root + "/config/mimeapps.list")
        << "[Default Applications]\nimage/bmp=quendra-fake-editor.desktop\n"
           "image/png=quendra-fake-editor.desktop\ninode/directory=quendra-fake-editor.desktop\n";
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_DATA_DIRS", "/usr/share", 1);  // the MIME database
    setenv("XDG_CONFIG_DIRS", (root + "/no-system-config").c_str(), 1);
    unsetenv("XDG_CURRENT_DESKTOP");
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + root + "/no-bus").c_str(), 1);
    unsetenv("DISPLAY");  // the X tests bring their own server
    g_reports = std::make_unique<ReportChannel>(root + "/reports");
    g_sandbox.reports = g_reports.get();
    setenv("QUENDRA_FAKE_EDITOR_LOG", g_reports->Path().c_str(), 1);
    (void)!chdir(root.c_str());
  }
  void TearDown() override {
    (void)!chdir("/");
    g_reports.reset();
    g_dir.reset();
  }
};

[[maybe_unused]] ::testing::Environment* const g_env =
    ::testing::AddGlobalTestEnvironment(new SandboxEnvironment);

}  // namespace

DesktopSandbox& Sandbox() {
  return g_sandbox;
}

}  // namespace quendra::testing
