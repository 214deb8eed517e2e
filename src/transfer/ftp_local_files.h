#pragma once
// What the FTP window's local tree does to the user's own files: list a
// folder, tell whether a folder holds anything, create, rename, copy, move
// and delete. Every operation reports the first system error it met (an
// errno value, 0 on success) and never leaves the user with less than
// before: a move that cannot finish keeps its source, a copy never replaces
// a file unless told to, and a recursive delete stops at its first failure.
#include <filesystem>
#include <string>
#include <vector>

namespace netrove {

struct LocalEntry {
  std::string name;
  bool isFolder = false;
};

// The entries of `folder` without "." and "..": folders first, then files,
// each group sorted without regard to case (then by bytes). Linear in the
// entries plus the sort; no entry is opened or probed. `error` gets the
// errno when the folder cannot be read.
std::vector<LocalEntry> ListLocalFolder(const std::filesystem::path& folder, int& error);

// Whether `folder` holds any entry besides "." and ".." (reads at most one).
bool LocalFolderHasEntries(const std::filesystem::path& folder);

int CreateLocalFolder(const std::filesystem::path& folder);

// Renames within one file system; fails (EEXIST) rather than replace.
int RenameLocal(const std::filesystem::path& from, const std::filesystem::path& to);

// Whether `path` is `folder` or lies inside it (symbolic links and ".."
// resolved as far as the paths exist).
bool IsSameOrInside(const std::filesystem::path& path, const std::filesystem::path& folder);

// Copies a file (a folder with everything in it); a folder into itself or
// one of its subfolders fails with EINVAL. Without `replace` an
// existing target fails with EEXIST and is left alone; with it the target is
// written beside and renamed over, so a failed copy never spoils it.
int CopyLocal(const std::filesystem::path& from, const std::filesystem::path& to, bool replace);

// Moves by renaming, or across file systems by copying and then removing
// the source; the source is removed only once the copy is complete. An
// existing target fails with EEXIST unless `replace`.
int MoveLocal(const std::filesystem::path& from, const std::filesystem::path& to, bool replace);

// Deletes a file, or a folder depth first. Stops at the first failure and
// returns it; `failedPath` then names what could not be deleted.
int DeleteLocalTree(const std::filesystem::path& path, std::filesystem::path& failedPath);

}  // namespace netrove

namespace netrove {

// Starts `program` with `argument` as its one argument (no shell reads
// either) and does not wait for it; the child is reaped when it ends.
// Returns the errno of a failed start, 0 otherwise.
int StartDetachedProgram(const std::string& program, const std::string& argument);

}  // namespace netrove
