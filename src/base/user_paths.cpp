#include "base/user_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace netrove {
namespace {

std::filesystem::path HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    return entry->pw_dir;
  }
  return "/tmp";
}

// $NETROVE_HOME, else $<xdgVariable>/netrove, else ~/<fallback>/netrove.
std::filesystem::path UserFolder(const char* xdgVariable, const char* fallback) {
  if (const char* home = std::getenv("NETROVE_HOME"); home != nullptr && *home != '\0') return home;
  if (const char* xdg = std::getenv(xdgVariable); xdg != nullptr && *xdg == '/') {
    return std::filesystem::path(xdg) / "netrove";
  }
  return HomeFolder() / fallback / "netrove";
}

}  // namespace

std::filesystem::path SettingsFolder() { return UserFolder("XDG_CONFIG_HOME", ".config"); }

std::filesystem::path DataFolder() { return UserFolder("XDG_DATA_HOME", ".local/share"); }

bool EnsureFolder(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return std::filesystem::is_directory(folder, error);
}

}  // namespace netrove
