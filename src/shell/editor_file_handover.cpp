#include "shell/editor_file_handover.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "saving/save_by_extension.h"

namespace quendra {

namespace {

constexpr std::string_view kPrefix = "picture-";
constexpr auto kKeptFor = std::chrono::hours(24);

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CacheFolder() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache != nullptr && cache[0] == '/') return std::string(cache) + "/quendra";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.cache/quendra";
  return {};
}

// The editor may still have yesterday's file open; older ones are nobody's.
void RemoveOldFiles(const std::filesystem::path& folder) {
  std::error_code ec;
  const auto now = std::filesystem::file_time_type::clock::now();
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with(kPrefix) || !name.ends_with(".bmp")) continue;
    const auto written = entry.last_write_time(ec);
    if (!ec && now - written > kKeptFor) std::filesystem::remove(entry.path(), ec);
  }
}

}  // namespace

bool TakesPictureAsFile(const DesktopApplication& editor) {
  const std::string exe = BaseName(editor.executable);
  const std::string id = editor.desktopId;
  return exe.starts_with("gimp") || exe == "mtpaint" || id.starts_with("gimp") ||
         id.starts_with("org.gimp.GIMP") || id == "mtpaint.desktop";
}

std::optional<std::string> WriteHandoverFile(const Bitmap& picture) {
  const std::string folder = CacheFolder();
  if (folder.empty()) return std::nullopt;
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) return std::nullopt;
  ::chmod(folder.c_str(), 0700);  // what the user copied is nobody else's business
  RemoveOldFiles(folder);
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
  const std::string path = folder + "/" + std::string(kPrefix) + std::to_string(stamp) + "-" +
                           std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".bmp";
  try {
    WritePictureFile(picture, SaveFormat::Bmp, path, ReplaceMode::NoReplace);
  } catch (...) {
    return std::nullopt;
  }
  return path;
}

bool OpenInEditorAsFile(const DesktopApplication& editor, const Bitmap& picture,
                        ProgramLauncher& launcher) {
  const std::optional<std::string> path = WriteHandoverFile(picture);
  if (!path) return false;
  if (launcher.StartApplicationWithFile(editor, *path)) return true;
  std::error_code ec;
  std::filesystem::remove(*path, ec);
  return false;
}

}  // namespace quendra
