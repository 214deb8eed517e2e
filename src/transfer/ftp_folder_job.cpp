#include "transfer/ftp_folder_job.h"

#include <cctype>
#include <cstdio>
#include <utility>

#include "base/grouped_number.h"
#include "transfer/ftp_listing.h"
#include "transfer/ftp_transfer.h"

namespace netrove {
namespace {

namespace fs = std::filesystem;

std::string JoinRemote(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (!path.ends_with('/')) path += '/';
  path += name;
  return path;
}

std::string Bytes(double bytes) {
  const char* units[] = {"KB", "MB", "GB", "TB"};
  if (bytes < 1024) return FormatGroupedNumber(static_cast<std::uint64_t>(bytes)) + " bytes";
  int unit = -1;
  while (bytes >= 1024 && unit < 3) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", bytes, units[unit]);
  return text;
}

std::string Duration(double seconds) {
  if (seconds < 60) return std::to_string(static_cast<long>(seconds + 0.5)) + " s";
  const long minutes = static_cast<long>(seconds / 60 + 0.5);
  if (minutes < 60) return std::to_string(minutes) + " min";
  return std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) + " min";
}

// Listed links are left out of the entries; they are counted so that the
// summary can say what was not followed.
std::size_t ListedLinks(std::string_view text) {
  std::size_t links = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string line(text.substr(0, end));
    for (char& c : line) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::size_t facts = line.find(' ');
    const bool mlsdLink =
        facts != std::string::npos &&
        (line.substr(0, facts).find("type=os.unix=symlink") != std::string::npos ||
         line.substr(0, facts).find("type=os.unix=slink") != std::string::npos);
    if (line.starts_with('l') || mlsdLink) ++links;
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return links;
}

}  // namespace

std::string FormatFolderProgress(const FtpFolderProgress& progress) {
  std::string text = FormatGroupedNumber(progress.filesDone) + " of " +
                     FormatGroupedNumber(progress.filesTotal) + " files, " +
                     Bytes(static_cast<double>(progress.bytesDone));
  if (progress.allSizesKnown) text += " of " + Bytes(static_cast<double>(progress.bytesTotal));
  const double seconds = static_cast<double>(progress.elapsed.count()) / 1000.0;
  if (seconds <= 0) return text;
  const double rate = static_cast<double>(progress.bytesDone) / seconds;
  text += ", " + Bytes(rate) + "/s";
  std::optional<double> left;
  if (progress.allSizesKnown && progress.bytesDone > 0 &&
      progress.bytesTotal >= progress.bytesDone) {
    left = static_cast<double>(progress.bytesTotal - progress.bytesDone) / rate;
  } else if (progress.filesDone > 0 && progress.filesTotal >= progress.filesDone) {
    left = seconds * static_cast<double>(progress.filesTotal - progress.filesDone) /
           static_cast<double>(progress.filesDone);
  }
  if (left) text += ", about " + Duration(*left) + " left";
  return text;
}

std::string FormatFolderSummary(FtpFolderDirection direction, const FtpFolderSummary& summary) {
  std::string text =
      direction == FtpFolderDirection::Download ? "Folder download" : "Folder upload";
  text += summary.cancelled ? " cancelled: " : summary.stopped ? " stopped: " : " finished: ";
  text += FormatGroupedNumber(summary.transferred) +
          (summary.transferred == 1 ? " file (" : " files (") +
          Bytes(static_cast<double>(summary.bytes)) + ") in " +
          Duration(static_cast<double>(summary.elapsed.count()) / 1000.0);
  if (summary.skipped > 0)
    text += ", " + FormatGroupedNumber(summary.skipped) + " already there, skipped";
  if (summary.failed > 0) text += ", " + FormatGroupedNumber(summary.failed) + " failed";
  if (summary.linksSkipped > 0)
    text += ", " + FormatGroupedNumber(summary.linksSkipped) + " symbolic links not followed";
  text += ".";
  if (summary.stopped) text += " It stopped at the first failure, as chosen.";
  return text;
}

CFtpFolderJob::CFtpFolderJob(FtpFolderJobPlan plan, Starter start, IFtpFolderJobSink& sink)
    : plan_(std::move(plan)), start_(std::move(start)), sink_(sink) {}

CFtpFolderJob::~CFtpFolderJob() { std::lock_guard lock(mutex_); }

void CFtpFolderJob::Start() {
  {
    std::lock_guard lock(mutex_);
    running_ = true;
    started_ = std::chrono::steady_clock::now();
    if (plan_.direction == FtpFolderDirection::Download) {
      folders_.push_back({StepKind::List, plan_.remote, plan_.local, std::nullopt});
    } else {
      WalkLocal();
    }
  }
  Advance();
}

bool CFtpFolderJob::IsRunning() const {
  std::lock_guard lock(mutex_);
  return running_;
}

// Runs steps until one waits for the server or the job ends. An outcome
// that arrives meanwhile (even inside the start of its own request) is
// taken up by this loop, never by a second one.
void CFtpFolderJob::Advance() {
  std::unique_lock lock(mutex_);
  if (advancing_ || !running_) return;
  advancing_ = true;
  while (true) {
    if (outcome_) ApplyOutcome(*std::exchange(outcome_, std::nullopt));
    if (inFlight_) break;
    const std::optional<FtpRequest> request = NextRequest();
    if (!request) {
      End();
      break;
    }
    inFlight_ = true;
    stepId_ = 0;
    lock.unlock();
    const std::uint64_t id = start_(*request);
    lock.lock();
    lastStartedId_ = id;
    if (inFlight_) stepId_ = id;
  }
  advancing_ = false;
}

bool CFtpFolderJob::OnOperationEnded(std::uint64_t id, FtpOutcome outcome) {
  {
    std::lock_guard lock(mutex_);
    // While its request is being started the job does not know the id yet;
    // ids only grow, so one not above the last it started (the login's
    // listing, 0) belongs to someone else.
    const bool ours = stepId_ != 0 ? id == stepId_ : id > lastStartedId_;
    if (!running_ || !inFlight_ || !ours) return false;
    inFlight_ = false;
    outcome_ = outcome;
  }
  Advance();
  return true;
}

void CFtpFolderJob::OnListing(std::string text) {
  std::lock_guard lock(mutex_);
  listing_ = std::move(text);
}

void CFtpFolderJob::OnTransferProgress(std::uint64_t bytes) {
  std::lock_guard lock(mutex_);
  if (!running_ || !current_ || current_->kind != StepKind::File) return;
  currentBytes_ = bytes;
  ReportProgress();
}

void CFtpFolderJob::Cancel() {
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    if (!running_ || inFlight_ || advancing_) return;
  }
  Advance();
}

// The next request to send; local steps and skipped files are done on the
// way. Nothing when the job is over.
std::optional<FtpRequest> CFtpFolderJob::NextRequest() {
  while (!cancelled_ && !summary_.stopped) {
    Step step;
    if (!folders_.empty()) {
      step = std::move(folders_.front());
      folders_.pop_front();
    } else if (!steps_.empty()) {
      step = std::move(steps_.front());
      steps_.pop_front();
    } else {
      return std::nullopt;
    }
    FtpRequest request;
    request.type = plan_.type;
    if (step.kind == StepKind::List) {
      request.kind = FtpOperationKind::List;
      request.source = step.remote;
    } else if (step.kind == StepKind::MakeFolder) {
      request.kind = FtpOperationKind::NewFolder;
      request.source = step.remote;
    } else if (auto file = FileRequest(step)) {
      request = std::move(*file);
    } else {
      ++summary_.skipped;
      ++progress_.filesDone;
      progress_.bytesDone += step.size.value_or(0);
      ReportProgress();
      continue;
    }
    current_ = std::move(step);
    currentBytes_ = 0;
    return request;
  }
  return std::nullopt;
}

// Nothing for a download onto a file that exists, with Skip chosen; an
// upload with Skip asks the engine's name check, which answers NameExists.
std::optional<FtpRequest> CFtpFolderJob::FileRequest(const Step& step) {
  FtpRequest request;
  request.type = plan_.type;
  if (plan_.direction == FtpFolderDirection::Download) {
    request.kind = FtpOperationKind::Download;
    request.source = step.remote;
    request.target = step.local.string();
    std::error_code ignored;
    const bool exists =
        fs::exists(step.local, ignored) || fs::exists(PartialDownloadPath(step.local), ignored);
    if (exists && plan_.existing == FtpExistingFiles::Skip) return std::nullopt;
  } else {
    request.kind = FtpOperationKind::Upload;
    request.source = step.local.string();
    request.target = step.remote;
  }
  request.replace = plan_.existing == FtpExistingFiles::Overwrite;
  request.resume = plan_.existing == FtpExistingFiles::Resume;
  // A download onto nothing replaces nothing.
  if (plan_.direction == FtpFolderDirection::Download && !request.resume) request.replace = true;
  return request;
}

void CFtpFolderJob::ApplyOutcome(FtpOutcome outcome) {
  if (!current_) return;
  const Step step = std::move(*current_);
  current_.reset();
  currentBytes_ = 0;
  switch (step.kind) {
    case StepKind::List:
      if (outcome == FtpOutcome::Succeeded) {
        TakeListing(step);
      } else {
        Fail(step.remote);
      }
      break;
    case StepKind::MakeFolder:
      break;  // a folder that exists already refuses MKD; its files tell
    case StepKind::File: {
      ++progress_.filesDone;
      std::uint64_t bytes = step.size.value_or(0);
      if (outcome == FtpOutcome::Succeeded) {
        std::error_code error;
        const auto size = fs::file_size(step.local, error);
        if (!error) bytes = size;
        ++summary_.transferred;
        summary_.bytes += bytes;
      } else if (outcome == FtpOutcome::NameExists) {
        ++summary_.skipped;
      } else {
        Fail(plan_.direction == FtpFolderDirection::Download ? step.remote : step.local.string());
      }
      progress_.bytesDone += bytes;
      break;
    }
  }
  ReportProgress();
}

// A local folder is made only for a folder the server did list: one it
// refuses (a link leading out of what it serves) leaves nothing behind.
void CFtpFolderJob::TakeListing(const Step& folder) {
  const std::string text = std::exchange(listing_, {});
  std::error_code error;
  fs::create_directories(folder.local, error);
  if (error) {
    Fail(folder.local.string());
    return;
  }
  summary_.linksSkipped += ListedLinks(text);
  for (const FtpListingEntry& entry : ParseListing(text)) {
    const std::string remote = JoinRemote(folder.remote, entry.name);
    // A listed name must not lead out of the folder it is written into.
    if (!IsSafeLocalName(entry.name)) {
      Fail(JoinRemote(folder.remote, DisplayName(entry.name)));
      continue;
    }
    const fs::path local = folder.local / entry.name;
    if (entry.isFolder) {
      folders_.push_back({StepKind::List, remote, local, std::nullopt});
    } else {
      AddFile(remote, local, entry.size);
    }
  }
}

// Links are not followed, nor sent: the tree is what lies inside the folder.
void CFtpFolderJob::WalkLocal() {
  steps_.push_back({StepKind::MakeFolder, plan_.remote, plan_.local, std::nullopt});
  std::error_code error;
  fs::recursive_directory_iterator walk(plan_.local, fs::directory_options::none, error);
  if (error) {
    Fail(plan_.local.string());
    return;
  }
  for (; walk != fs::recursive_directory_iterator(); walk.increment(error)) {
    if (error) {
      Fail(walk->path().string());
      break;
    }
    const fs::path& path = walk->path();
    const std::string remote =
        JoinRemote(plan_.remote, fs::relative(path, plan_.local, error).generic_string());
    const fs::file_status status = walk->symlink_status(error);
    if (fs::is_symlink(status)) {
      ++summary_.linksSkipped;
    } else if (fs::is_directory(status)) {
      steps_.push_back({StepKind::MakeFolder, remote, path, std::nullopt});
    } else if (fs::is_regular_file(status)) {
      const auto size = walk->file_size(error);
      AddFile(remote, path, error ? std::nullopt : std::optional<std::uint64_t>(size));
    } else {
      Fail(path.string());  // a device or a pipe: nothing to send
    }
  }
}

void CFtpFolderJob::AddFile(std::string remote, fs::path local, std::optional<std::uint64_t> size) {
  ++progress_.filesTotal;
  if (size) {
    progress_.bytesTotal += *size;
  } else {
    ++unknownSizes_;
  }
  steps_.push_back({StepKind::File, std::move(remote), std::move(local), size});
}

void CFtpFolderJob::Fail(const std::string& path) {
  ++summary_.failed;
  summary_.failures.push_back(path);
  if (plan_.stopAtFailure) summary_.stopped = true;
  sink_.FolderItemFailed(path);
}

void CFtpFolderJob::ReportProgress() {
  FtpFolderProgress progress = progress_;
  progress.bytesDone += currentBytes_;
  progress.allSizesKnown = unknownSizes_ == 0;
  progress.elapsed = Elapsed();
  sink_.FolderProgress(progress);
}

void CFtpFolderJob::End() {
  running_ = false;
  summary_.elapsed = Elapsed();
  summary_.cancelled = cancelled_;
  sink_.FolderJobEnded(summary_);
}

std::chrono::milliseconds CFtpFolderJob::Elapsed() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               started_);
}

}  // namespace netrove
