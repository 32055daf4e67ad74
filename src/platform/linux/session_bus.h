#pragma once
// Where no session bus runs, the D-Bus libraries start one of their own on first use
// ("autolaunch": a dbus-launch and a dbus-daemon that outlive the viewer). The viewer never
// needs that: NoteMissingSessionBus, called first thing in main, points the libraries at an
// address that fails at once, and the programs the viewer starts get the environment back as
// it was.
namespace quendra::desktop {

// True when the environment names a session bus or the usual socket of one exists.
bool SessionBusExists();

// Without a session bus: sets DBUS_SESSION_BUS_ADDRESS to an address no library can reach, so
// nothing is autolaunched; remembers having done so. Call before any thread starts.
void NoteMissingSessionBus();

// True when NoteMissingSessionBus set the address: a child's environment drops it.
bool SessionBusAddressIsOurs();

inline constexpr const char* kSessionBusVariable = "DBUS_SESSION_BUS_ADDRESS";

}  // namespace quendra::desktop
