#include "platform/linux/session_bus.h"

#include <sys/stat.h>

#include <cstdlib>
#include <string>

namespace quendra::desktop {

namespace {
bool ours = false;
}

bool SessionBusExists() {
  const char* address = std::getenv(kSessionBusVariable);
  if (address && *address) return true;
  // The address a bus started with the user's session has, which libdbus and GIO look for too.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || !*runtime) return false;
  struct stat st {};
  return ::stat((std::string(runtime) + "/bus").c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

void NoteMissingSessionBus() {
  if (SessionBusExists()) return;
  // An address of an unknown kind: libdbus and GIO both refuse it at once and start nothing.
  ::setenv(kSessionBusVariable, "disabled:", 1);
  ours = true;
}

bool SessionBusAddressIsOurs() {
  return ours;
}

}  // namespace quendra::desktop
