#include "formats/load_cancel.h"

namespace quendra {

namespace {
thread_local const CancelToken* current = nullptr;
}

CancelScope::CancelScope(const CancelToken& token) : previous_(current) {
  current = &token;
}

CancelScope::~CancelScope() {
  current = previous_;
}

bool LoadCancelled() {
  return current && current->Cancelled();
}

}  // namespace quendra
