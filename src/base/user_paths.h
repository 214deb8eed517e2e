#pragma once
// Where per-user files live. NETROVE_HOME, when set, holds everything (tests
// and portable use); otherwise the XDG folders are used.
#include <filesystem>

namespace netrove {

// Folder of the settings store: $NETROVE_HOME, else $XDG_CONFIG_HOME/netrove,
// else ~/.config/netrove.
std::filesystem::path SettingsFolder();

// Folder of the program's data files (AddrBook.dat, the News folders):
// $NETROVE_HOME, else $XDG_DATA_HOME/netrove, else ~/.local/share/netrove.
std::filesystem::path DataFolder();

// Creates the folder (and parents) if missing; false when that fails.
bool EnsureFolder(const std::filesystem::path& folder);

}  // namespace netrove
