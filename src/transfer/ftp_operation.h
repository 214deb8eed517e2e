#pragma once
// What a pane or the command line asks the FTP engine to do, as one typed
// request, and how it ended. The engine carries every step of a request
// (the name check before a store or a move on the server, the delete after
// a moved download) and reports exactly one outcome for it.
#include <cstdint>
#include <string>
#include <string_view>

namespace netrove {

enum class FtpTransferType { Ascii, Image };

enum class FtpOperationKind {
  OpenFolder,    // CWD source, then LIST source; LIST alone when source is empty
  List,          // LIST source without changing folder (LIST alone when empty)
  Download,      // RETR source into the local file target; move: then DELE/RMD source
  Upload,        // local source to remote target, by the store mode; move: the local file goes
  ServerMove,    // name check, then RNFR source, RNTO target
  Rename,        // RNFR source, RNTO target, no name check
  Delete,        // DELE source (RMD when sourceIsFolder)
  NewFolder,     // MKD source
  EditDownload,  // RETR source (ASCII) into a temporary copy, then the editor
};

enum class FtpStoreMode { Replace, Append, Unique };

enum class FtpOutcome {
  Succeeded,
  Failed,
  // The name check found the target's name in its folder: nothing was
  // changed. The same request with `replace` set goes ahead.
  NameExists,
  // A move whose copy succeeded but whose source could not be removed.
  SourceKept,
};

struct FtpRequest {
  FtpOperationKind kind = FtpOperationKind::OpenFolder;
  std::string source;
  std::string target;
  FtpStoreMode store = FtpStoreMode::Replace;
  FtpTransferType type = FtpTransferType::Image;
  bool move = false;
  bool sourceIsFolder = false;
  // Skip the name check: the user has agreed to replace.
  bool replace = false;
  // Download or Upload: go on from where the target ends instead of
  // starting over (in binary whatever `type` says, since only then does a
  // byte offset mean the same on both sides). A target that is complete
  // already ends as succeeded with nothing sent.
  bool resume = false;
  // EditDownload: the program started on the copy.
  std::string editor;
};

// "open folder", "download", ... for transcripts and test records.
std::string_view FtpOperationName(FtpOperationKind kind);

// Whether an NLST text names the last part of `target`. Servers differ in
// whether the names carry their folder and in case rules, so the last part
// of each line is compared without regard to case.
bool NameListHolds(std::string_view names, std::string_view target);

}  // namespace netrove
