#pragma once
// A folder transferred with everything in it, as one job: the tree is read
// first (remote folders listed one by one, the local one walked), then each
// file goes as one request of the FTP engine, one after the other. Symbolic
// links are never followed: local ones are left out, remote entries listed
// as links are not entered. A remote name that could leave the local folder
// ("..", "/", control characters) is refused and counted as a failure. A
// failed file is counted and the job goes on, or stops, as chosen; the job
// ends with one summary.
//
// The owner forwards the engine's outcomes, listings and progress while the
// job runs (from any one thread at a time; an outcome may also arrive inside
// the start of its own request).
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "transfer/ftp_operation.h"

namespace netrove {

// The FTP key's choice (Customize, FTP page) to stop a folder job at its
// first failure instead of going on with the other files.
inline constexpr const char* kFtpFolderStopValue = "Folder Stop On Failure";

enum class FtpFolderDirection { Download, Upload };

// What happens to a file that exists on the receiving side already.
enum class FtpExistingFiles { Overwrite, Resume, Skip };

struct FtpFolderJobPlan {
  FtpFolderDirection direction = FtpFolderDirection::Download;
  std::string remote;           // the folder on the server (source or target)
  std::filesystem::path local;  // the local folder (target or source)
  FtpExistingFiles existing = FtpExistingFiles::Skip;
  bool stopAtFailure = false;
  FtpTransferType type = FtpTransferType::Image;
};

struct FtpFolderProgress {
  std::uint64_t bytesDone = 0;
  std::uint64_t bytesTotal = 0;  // of the files whose size is known
  bool allSizesKnown = false;
  std::size_t filesDone = 0;  // transferred, skipped or failed
  std::size_t filesTotal = 0;
  std::chrono::milliseconds elapsed{0};
};

struct FtpFolderSummary {
  std::size_t transferred = 0;
  std::size_t skipped = 0;  // existed already and were left alone
  std::size_t failed = 0;
  std::size_t linksSkipped = 0;
  std::uint64_t bytes = 0;
  std::chrono::milliseconds elapsed{0};
  bool stopped = false;               // at a failure, as chosen
  bool cancelled = false;             // by the user
  std::vector<std::string> failures;  // the paths that failed, first ones first
};

// "120 of 1,000 files, 1.2 MB of 9.8 MB, 3.4 MB/s, about 3 s left"
std::string FormatFolderProgress(const FtpFolderProgress& progress);
// "Folder download: 998 files (9.8 MB) in 4.1 s, 2 failed." and so on.
std::string FormatFolderSummary(FtpFolderDirection direction, const FtpFolderSummary& summary);

class IFtpFolderJobSink {
 public:
  virtual ~IFtpFolderJobSink() = default;
  virtual void FolderProgress(const FtpFolderProgress& progress) = 0;
  // One file or folder could not be transferred (or listed).
  virtual void FolderItemFailed(const std::string& path) = 0;
  virtual void FolderJobEnded(const FtpFolderSummary& summary) = 0;
};

class CFtpFolderJob {
 public:
  // Starts one request of the engine and returns its id.
  using Starter = std::function<std::uint64_t(const FtpRequest&)>;

  CFtpFolderJob(FtpFolderJobPlan plan, Starter start, IFtpFolderJobSink& sink);
  // Waits for a thread still finishing its last step in here (the summary
  // goes out before it lets go).
  ~CFtpFolderJob();
  CFtpFolderJob(const CFtpFolderJob&) = delete;
  CFtpFolderJob& operator=(const CFtpFolderJob&) = delete;

  const FtpFolderJobPlan& plan() const { return plan_; }
  void Start();
  bool IsRunning() const;
  // True when the outcome was that of the job's request (the owner then
  // passes it on no further).
  bool OnOperationEnded(std::uint64_t id, FtpOutcome outcome);
  // A listing the job asked for (it arrives before its request's outcome).
  void OnListing(std::string text);
  // Bytes of the file being transferred.
  void OnTransferProgress(std::uint64_t bytes);
  // Ends the job once the request running ends (the owner aborts it).
  void Cancel();

 private:
  enum class StepKind { List, MakeFolder, File };
  struct Step {
    StepKind kind;
    std::string remote;
    std::filesystem::path local;
    std::optional<std::uint64_t> size;
  };

  void Advance();
  std::optional<FtpRequest> NextRequest();
  std::optional<FtpRequest> FileRequest(const Step& step);
  void ApplyOutcome(FtpOutcome outcome);
  void TakeListing(const Step& folder);
  void WalkLocal();
  void AddFile(std::string remote, std::filesystem::path local, std::optional<std::uint64_t> size);
  void Fail(const std::string& path);
  void ReportProgress();
  void End();
  std::chrono::milliseconds Elapsed() const;

  const FtpFolderJobPlan plan_;
  const Starter start_;
  IFtpFolderJobSink& sink_;

  mutable std::mutex mutex_;
  bool running_ = false;
  bool advancing_ = false;
  bool cancelled_ = false;
  bool inFlight_ = false;
  std::uint64_t stepId_ = 0;  // 0 while its request is being started
  std::uint64_t lastStartedId_ = 0;
  std::optional<FtpOutcome> outcome_;
  std::optional<Step> current_;
  std::deque<Step> folders_;  // still to be listed (downloads)
  std::deque<Step> steps_;    // folders to make and files to move, in order
  std::string listing_;
  FtpFolderProgress progress_;
  FtpFolderSummary summary_;
  std::uint64_t currentBytes_ = 0;
  std::size_t unknownSizes_ = 0;
  std::chrono::steady_clock::time_point started_;
};

}  // namespace netrove
