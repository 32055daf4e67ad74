#include "formats/mapping_guard.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace quendra {

namespace {

// Lock-free slots, so the handler can read them at any moment: a range is live while begin != 0.
struct Slot {
  std::atomic<uintptr_t> begin{0}, end{0};
  std::atomic<bool> faulted{false};
};
constexpr int kSlots = 64;
Slot g_slots[kSlots];
struct sigaction g_previous {};
uintptr_t g_pageMask = 0;

void OnBusError(int sig, siginfo_t* info, void* context) {
  const auto at = reinterpret_cast<uintptr_t>(info->si_addr);
  for (Slot& s : g_slots) {
    const uintptr_t b = s.begin.load(std::memory_order_acquire);
    if (b == 0 || at < b || at >= s.end.load(std::memory_order_acquire)) continue;
    // mmap is a plain system call here; MAP_FIXED swaps the lost page for zeros in place.
    void* page = reinterpret_cast<void*>(at & g_pageMask);
    if (::mmap(page, ~g_pageMask + 1, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
        MAP_FAILED) {
      s.faulted.store(true, std::memory_order_relaxed);
      return;
    }
    break;
  }
  // Not a guarded page: whatever was there before decides, by default the process ends.
  if (g_previous.sa_flags & SA_SIGINFO) {
    g_previous.sa_sigaction(sig, info, context);
  } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
    g_previous.sa_handler(sig);
  } else {
    ::signal(sig, SIG_DFL);  // the faulting access runs again and ends the process
  }
}

void InstallOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_pageMask = ~uintptr_t(::sysconf(_SC_PAGESIZE) - 1);
    struct sigaction sa {};
    sa.sa_sigaction = OnBusError;
    sa.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGBUS, &sa, &g_previous);
  });
}

}  // namespace

MappingGuard::MappingGuard(const void* begin, size_t size) {
  InstallOnce();
  const auto b = reinterpret_cast<uintptr_t>(begin);
  for (int i = 0; i < kSlots; ++i) {
    uintptr_t expected = 0;
    Slot& s = g_slots[i];
    // Claimed with a marker; the range matches no address until its end is published last.
    if (!s.begin.compare_exchange_strong(expected, 1, std::memory_order_acq_rel)) continue;
    s.faulted.store(false, std::memory_order_relaxed);
    s.begin.store(b, std::memory_order_release);
    s.end.store(b + size, std::memory_order_release);
    slot_ = i;
    return;
  }
}

MappingGuard::~MappingGuard() {
  if (slot_ < 0) return;
  g_slots[slot_].end.store(0, std::memory_order_release);
  g_slots[slot_].begin.store(0, std::memory_order_release);
}

bool MappingGuard::Faulted() const {
  return slot_ >= 0 && g_slots[slot_].faulted.load(std::memory_order_relaxed);
}

}  // namespace quendra
