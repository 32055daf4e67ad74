// The display profile read from a real X server (Xvfb), set on its root window as colord sets it.
#include "platform/linux/x11_display_profile.h"

// gtest first: Xlib defines None, a name gtest uses.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "desktop/desktop_sandbox.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace quendra {
namespace {

TEST(X11DisplayProfile, IsTheRootWindowsIccProfileInBytes) {
  if (!testing::XvfbServer::Installed()) GTEST_SKIP() << "Xvfb is not installed";
  testing::XvfbServer server;
  ASSERT_TRUE(server.Start());
  Display* d = XOpenDisplay(server.Name().c_str());
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(desktop::X11DisplayProfile(d).empty());  // none published

  std::vector<uint8_t> icc(70000);  // larger than one request's worth of property data
  for (size_t i = 0; i < icc.size(); ++i) icc[i] = uint8_t(i * 7 + i / 256);
  const Atom property = XInternAtom(d, "_ICC_PROFILE", False);
  XChangeProperty(d, DefaultRootWindow(d), property, XA_CARDINAL, 8, PropModeReplace, icc.data(),
                  int(icc.size()));
  EXPECT_EQ(desktop::X11DisplayProfile(d), icc);

  const long words[2] = {1, 2};  // not bytes: no profile
  XChangeProperty(d, DefaultRootWindow(d), property, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(words), 2);
  EXPECT_TRUE(desktop::X11DisplayProfile(d).empty());
  XCloseDisplay(d);
}

}  // namespace
}  // namespace quendra
