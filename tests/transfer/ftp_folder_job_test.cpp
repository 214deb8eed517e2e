// Folder transfers as one job: a tree of 1,000 files in 50 folders both ways
// against vsftpd and pyftpdlib, compared byte for byte; a failing file with
// "go on" and with "stop"; symbolic links that are not followed; listed
// names that would lead out of the local folder.
#include "transfer/ftp_folder_job.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <iostream>
#include <map>
#include <mutex>
#include <random>

#include "ftp_real_peer.h"
#include "support/file_bytes.h"
#include "support/ftp_scripts.h"
#include "support/recording_reporter.h"
#include "support/scoped_home.h"
#include "support/scripted_server.h"
#include "transfer/ftp_connection.h"
#include "transfer/ftp_recorder.h"

namespace netrove {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The engine's reports, passed to the folder job while one runs.
class JobPanes : public test::FtpRecorder {
 public:
  void SetJob(CFtpFolderJob* job) { job_ = job; }
  void OperationEnded(std::uint64_t id, FtpOperationKind kind, FtpOutcome outcome) override {
    if (CFtpFolderJob* job = job_; job != nullptr && job->OnOperationEnded(id, outcome)) return;
    FtpRecorder::OperationEnded(id, kind, outcome);
  }
  void ListingReceived(std::string text, std::string rootLabel) override {
    if (CFtpFolderJob* job = job_) return job->OnListing(std::move(text));
    FtpRecorder::ListingReceived(std::move(text), std::move(rootLabel));
  }
  void TransferProgress(std::uint64_t bytes) override {
    if (CFtpFolderJob* job = job_) job->OnTransferProgress(bytes);
  }

 private:
  std::atomic<CFtpFolderJob*> job_{nullptr};
};

class JobRecorder : public IFtpFolderJobSink {
 public:
  void FolderProgress(const FtpFolderProgress& progress) override {
    std::lock_guard lock(mutex_);
    last_ = progress;
    ++progressReports_;
  }
  void FolderItemFailed(const std::string& path) override {
    std::lock_guard lock(mutex_);
    failed_.push_back(path);
  }
  void FolderJobEnded(const FtpFolderSummary& summary) override {
    {
      std::lock_guard lock(mutex_);
      summary_ = summary;
    }
    ended_.notify_all();
  }
  std::optional<FtpFolderSummary> WaitEnded(std::chrono::seconds deadline = 300s) {
    std::unique_lock lock(mutex_);
    ended_.wait_for(lock, deadline, [this] { return summary_.has_value(); });
    return summary_;
  }
  FtpFolderProgress LastProgress() {
    std::lock_guard lock(mutex_);
    return last_;
  }
  std::vector<std::string> Failed() {
    std::lock_guard lock(mutex_);
    return failed_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  std::optional<FtpFolderSummary> summary_;
  FtpFolderProgress last_;
  std::vector<std::string> failed_;
  int progressReports_ = 0;
};

// Every regular file under `root` by its path relative to it, with its bytes;
// folders as "<name>/" with no bytes. Links are listed as "-> link".
std::map<std::string, std::string> TreeOf(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (auto walk = fs::recursive_directory_iterator(root);
       walk != fs::recursive_directory_iterator(); ++walk) {
    const std::string relative = fs::relative(walk->path(), root).generic_string();
    if (walk->is_symlink()) {
      tree[relative] = "-> link";
    } else if (walk->is_directory()) {
      tree[relative + "/"] = "";
    } else {
      tree[relative] = test::ReadFileBytes(walk->path());
    }
  }
  return tree;
}

// `folders` folders (nested two deep: every fifth one at the top) with
// `files` files each, of random sizes up to 8 KiB, some empty, names with
// blanks.
void MakeTree(const fs::path& root, int folders, int files) {
  std::mt19937 random(5);
  fs::path top;
  for (int folder = 0; folder < folders; ++folder) {
    const std::string name = "folder " + std::to_string(folder);
    const fs::path path = folder % 5 == 0 ? (top = root / name) : top / name;
    fs::create_directories(path);
    for (int file = 0; file < files; ++file) {
      std::string bytes(random() % 8192 * (file % 7 != 0), '\0');
      for (char& byte : bytes) byte = static_cast<char>(random());
      test::WriteFileBytes(path / ("file " + std::to_string(file) + ".bin"), bytes);
    }
  }
}

class FtpFolderJobAgainstRealServers : public ::testing::TestWithParam<test::FtpPeer> {
 protected:
  void TearDown() override {
    panes_.SetJob(nullptr);
    connection_.Quit();
    connection_.WaitUntilEnded();
  }
  void LogIn() {
    ASSERT_TRUE(connection_.Connect(peer_.Login()));
    ASSERT_TRUE(panes_.WaitFor("listing")) << panes_.Transcript();
  }
  // Runs one job to its end and returns its summary.
  FtpFolderSummary Run(FtpFolderJobPlan plan, JobRecorder& recorder) {
    CFtpFolderJob job(
        std::move(plan), [this](const FtpRequest& request) { return connection_.Start(request); },
        recorder);
    panes_.SetJob(&job);
    job.Start();
    const auto summary = recorder.WaitEnded();
    panes_.SetJob(nullptr);
    EXPECT_TRUE(summary.has_value()) << panes_.Transcript();
    return summary.value_or(FtpFolderSummary{});
  }
  static FtpFolderJobPlan Plan(FtpFolderDirection direction, std::string remote, fs::path local) {
    FtpFolderJobPlan plan;
    plan.direction = direction;
    plan.remote = std::move(remote);
    plan.local = std::move(local);
    return plan;
  }

  test::ScopedHome home_;
  fs::path served_ = home_.path() / "served";
  fs::path local_ = home_.path() / "local";
  test::RealFtpPeer peer_{GetParam(), served_, home_.path() / "work"};
  JobPanes panes_;
  test::RecordingReporter reporter_;
  CFtpConnection connection_{panes_, reporter_, panes_, panes_, panes_, SystemResolver()};
};

TEST_P(FtpFolderJobAgainstRealServers, ATreeOf1000FilesIn50FoldersGoesBothWaysIdentically) {
  NETROVE_REQUIRE_FTP_PEER(peer_);
  MakeTree(local_ / "source", 50, 20);
  LogIn();
  JobRecorder up;
  const auto started = std::chrono::steady_clock::now();
  const FtpFolderSummary sent =
      Run(Plan(FtpFolderDirection::Upload, peer_.RemotePath("tree"), local_ / "source"), up);
  const auto uploaded = std::chrono::steady_clock::now();
  EXPECT_EQ(sent.transferred, 1000u);
  EXPECT_EQ(sent.failed, 0u) << ::testing::PrintToString(sent.failures);
  EXPECT_TRUE(TreeOf(served_ / "tree") == TreeOf(local_ / "source"));
  const FtpFolderProgress last = up.LastProgress();
  EXPECT_EQ(last.filesDone, 1000u);
  EXPECT_EQ(last.bytesDone, last.bytesTotal);
  EXPECT_TRUE(last.allSizesKnown);

  JobRecorder down;
  const FtpFolderSummary received =
      Run(Plan(FtpFolderDirection::Download, peer_.RemotePath("tree"), local_ / "back"), down);
  std::cout << "1,000 files in 50 folders: up "
            << std::chrono::duration<double>(uploaded - started).count() << " s, down "
            << std::chrono::duration<double>(std::chrono::steady_clock::now() - uploaded).count()
            << " s\n";
  EXPECT_EQ(received.transferred, 1000u);
  EXPECT_EQ(received.failed, 0u) << ::testing::PrintToString(received.failures);
  EXPECT_TRUE(TreeOf(local_ / "back") == TreeOf(local_ / "source"));
  EXPECT_EQ(down.LastProgress().filesDone, 1000u);
  EXPECT_TRUE(reporter_.Messages().empty()) << reporter_.Texts().front();
}

// A file that cannot be written (a folder holds its name) fails; "go on"
// moves every other file, "stop" ends the job there and says so.
TEST_P(FtpFolderJobAgainstRealServers, AFailingFileIsReportedAndTheJobGoesOnOrStopsAsChosen) {
  NETROVE_REQUIRE_FTP_PEER(peer_);
  MakeTree(served_ / "tree", 5, 4);
  LogIn();
  for (const bool stop : {false, true}) {
    const fs::path target = local_ / (stop ? "stopped" : "went on");
    const fs::path blocked = target / "folder 0" / "file 1.bin";
    fs::create_directories(blocked);
    FtpFolderJobPlan plan = Plan(FtpFolderDirection::Download, peer_.RemotePath("tree"), target);
    plan.existing = FtpExistingFiles::Overwrite;
    plan.stopAtFailure = stop;
    JobRecorder recorder;
    const FtpFolderSummary summary = Run(plan, recorder);
    EXPECT_EQ(summary.failed, 1u) << summary.transferred << " " << summary.skipped << "\n"
                                  << panes_.Transcript();
    ASSERT_EQ(recorder.Failed().size(), 1u);
    EXPECT_EQ(recorder.Failed()[0], peer_.RemotePath("tree/folder 0/file 1.bin"));
    EXPECT_EQ(summary.stopped, stop);
    EXPECT_TRUE(fs::is_directory(blocked));
    if (stop) {
      EXPECT_LT(summary.transferred, 19u);
      EXPECT_NE(FormatFolderSummary(FtpFolderDirection::Download, summary).find("stopped"),
                std::string::npos);
    } else {
      EXPECT_EQ(summary.transferred, 19u);
      auto expected = TreeOf(served_ / "tree");
      expected["folder 0/file 1.bin/"] = "";
      expected.erase("folder 0/file 1.bin");
      EXPECT_TRUE(TreeOf(target) == expected);
    }
  }
}

// Links lead out of the tree: neither the local nor the server's are followed.
TEST_P(FtpFolderJobAgainstRealServers, SymbolicLinksOutOfTheTreeAreNotFollowed) {
  NETROVE_REQUIRE_FTP_PEER(peer_);
  const fs::path outside = home_.path() / "outside";
  fs::create_directories(outside);
  test::WriteFileBytes(outside / "secret.txt", "not for the server");
  fs::create_directories(local_ / "source");
  test::WriteFileBytes(local_ / "source" / "plain.txt", "plain");
  fs::create_directory_symlink(outside, local_ / "source" / "escape");
  fs::create_symlink(outside / "secret.txt", local_ / "source" / "secret link.txt");
  fs::create_directories(served_ / "tree");
  test::WriteFileBytes(served_ / "tree" / "plain.txt", "plain");
  fs::create_directory_symlink(outside, served_ / "tree" / "escape");
  LogIn();

  JobRecorder up;
  const FtpFolderSummary sent =
      Run(Plan(FtpFolderDirection::Upload, peer_.RemotePath("sent"), local_ / "source"), up);
  EXPECT_EQ(sent.transferred, 1u);
  EXPECT_EQ(sent.linksSkipped, 2u);
  EXPECT_TRUE(TreeOf(served_ / "sent") ==
              (std::map<std::string, std::string>{{"plain.txt", "plain"}}));

  JobRecorder down;
  const FtpFolderSummary received =
      Run(Plan(FtpFolderDirection::Download, peer_.RemotePath("tree"), local_ / "back"), down);
  EXPECT_EQ(received.transferred, 1u);
  EXPECT_TRUE(TreeOf(local_ / "back") ==
              (std::map<std::string, std::string>{{"plain.txt", "plain"}}))
      << ::testing::PrintToString(TreeOf(local_ / "back")) << panes_.Transcript();
}

INSTANTIATE_TEST_SUITE_P(Peers, FtpFolderJobAgainstRealServers,
                         ::testing::Values(test::FtpPeer::Vsftpd, test::FtpPeer::Pyftpdlib));

// A listing is the server's word: names that would climb out of the local
// folder, or into another, are refused and counted; the rest arrive.
TEST(FtpFolderJob, ListedNamesThatLeaveTheFolderAreRefused) {
  test::ScopedHome home;
  test::CScriptedServer control;
  test::CScriptedServer data;
  const std::string listing =
      "drwxr-xr-x 2 a b 4096 Jan 1 12:00 ..\r\n"
      "-rw-r--r-- 1 a b 3 Jan 1 12:00 ..\r\n"
      "-rw-r--r-- 1 a b 3 Jan 1 12:00 ../evil.txt\r\n"
      "-rw-r--r-- 1 a b 3 Jan 1 12:00 ok.txt\r\n";
  test::Script script;
  test::LoginWithoutListing(script);
  script.ExpectLine("PASV")
      .Send(test::PassiveReplyNaming(data))
      .ExpectLine("TYPE A")
      .Send("200 ok\r\n")
      .ExpectLine("LIST /pub")
      .Send("150 here\r\n226 done\r\n")
      .ExpectLine("PASV")
      .Send(test::PassiveReplyNaming(data))
      .ExpectLine("TYPE I")
      .Send("200 ok\r\n")
      .ExpectLine("RETR /pub/ok.txt")
      .Send("150 go\r\n226 done\r\n");
  control.Start(std::move(script));
  data.Start(test::Script().Accept().Send(listing).Close().Accept().Send("ok!").Close());
  JobPanes panes;
  test::RecordingReporter reporter;
  CFtpConnection connection(panes, reporter, panes, panes, panes, SystemResolver());
  connection.SetQuitGrace(200ms);
  FtpLogin login;
  login.host = "127.0.0.1";
  login.serverPort = control.port();
  login.mode = kFtpModePassive;
  ASSERT_TRUE(connection.Connect(login));
  ASSERT_TRUE(panes.WaitFor("open folder ended 0"));
  JobRecorder recorder;
  FtpFolderJobPlan plan;
  plan.remote = "/pub";
  plan.local = home.path() / "in" / "pub";
  CFtpFolderJob job(
      plan, [&](const FtpRequest& request) { return connection.Start(request); }, recorder);
  panes.SetJob(&job);
  job.Start();
  const auto summary = recorder.WaitEnded(10s);
  panes.SetJob(nullptr);
  ASSERT_TRUE(summary.has_value());
  EXPECT_EQ(summary->transferred, 1u);
  EXPECT_EQ(summary->failed, 2u);
  EXPECT_TRUE(TreeOf(home.path() / "in") ==
              (std::map<std::string, std::string>{{"pub/", ""}, {"pub/ok.txt", "ok!"}}));
  EXPECT_FALSE(fs::exists(home.path() / "in" / "evil.txt"));
  EXPECT_TRUE(control.Finished());
  connection.Quit();
  connection.WaitUntilEnded();
}

// What the progress line and the summary say, at the points that matter.
TEST(FtpFolderJob, ProgressAndSummaryTexts) {
  FtpFolderProgress progress;
  progress.filesDone = 250;
  progress.filesTotal = 1000;
  progress.bytesDone = 2 * 1024 * 1024;
  progress.bytesTotal = 8 * 1024 * 1024;
  progress.allSizesKnown = true;
  progress.elapsed = 2s;
  EXPECT_EQ(FormatFolderProgress(progress),
            "250 of 1,000 files, 2.0 MB of 8.0 MB, 1.0 MB/s, about 6 s left");
  // Sizes unknown (a Unix listing states none exactly): the files tell.
  progress.allSizesKnown = false;
  EXPECT_EQ(FormatFolderProgress(progress), "250 of 1,000 files, 2.0 MB, 1.0 MB/s, about 6 s left");

  FtpFolderSummary summary;
  summary.transferred = 997;
  summary.skipped = 1;
  summary.failed = 2;
  summary.linksSkipped = 3;
  summary.bytes = 1536;
  summary.elapsed = 90s;
  EXPECT_EQ(FormatFolderSummary(FtpFolderDirection::Upload, summary),
            "Folder upload finished: 997 files (1.5 KB) in 2 min, 1 already there, skipped, 2 "
            "failed, 3 symbolic links not followed.");
}

}  // namespace
}  // namespace netrove
