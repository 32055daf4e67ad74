#include "platform/qt/save_wiring.h"

#include <stdexcept>

namespace quendra::qt {

namespace {

// Placeholder until the writers and the save thread are in: says so instead of saving.
class UnavailableSaver final : public SaveService {
 public:
  void StartSaveThread(const Bitmap&, const std::string&) override {
    throw std::runtime_error("Saving is not available in this build");
  }
};

}  // namespace

std::unique_ptr<SaveService> MakeSaveService(MainThreadDispatcher&,
                                             std::function<void(const std::string&)>) {
  return std::make_unique<UnavailableSaver>();
}

}  // namespace quendra::qt
