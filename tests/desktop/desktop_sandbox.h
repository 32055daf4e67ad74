#pragma once
// The desktop tests run in a private desktop: their own XDG folders, where the fake
// application is the default for BMP, PNG and folders, an unreachable session bus, and a
// report channel that every fake application writes to.
#include <string>

#include "desktop/desktop_fixture.h"

namespace quendra::testing {

struct DesktopSandbox {
  std::string root;        // a fresh folder; also the current folder of the tests
  std::string fakeEditor;  // the fake application's executable, links resolved
  ReportChannel* reports = nullptr;
};

// Set up once, before any test touches GIO (it reads the XDG variables only once).
DesktopSandbox& Sandbox();

}  // namespace quendra::testing
