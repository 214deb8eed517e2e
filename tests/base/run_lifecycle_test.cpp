#include "base/run_lifecycle.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <iostream>
#include <mutex>

#include "base/net_socket.h"
#include "support/refusing_threads.h"

namespace netrove {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCommand = 4711;

class FinishedCounter : public IRunFinishedListener {
 public:
  void PostRunFinished(int commandId) override {
    std::lock_guard lock(mutex_);
    ++counts_[commandId == kCommand ? 0 : 1];
    changed_.notify_all();
  }
  // Waits until `n` notices came (a deadline only against a hang).
  bool WaitFor(int n) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return counts_[0] >= n; });
  }
  int Count() {
    std::lock_guard lock(mutex_);
    return counts_[0];
  }
  int Foreign() {
    std::lock_guard lock(mutex_);
    return counts_[1];
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int counts_[2] = {0, 0};
};

// A UDP socket on a loopback port: a receive on it waits until woken.
void OpenQuietSocket(CNetSocket& socket) {
  ASSERT_TRUE(socket.Create(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  ASSERT_TRUE(socket.Bind(SocketAddress::FromIPv4(in_addr{htonl(INADDR_LOOPBACK)})));
}

TEST(RunLifecycle, InterruptWakesABlockedReceiveAndClosesTheSocket) {
  FinishedCounter finished;
  CNetSocket socket;
  OpenQuietSocket(socket);
  CRunLifecycle lifecycle(finished, kCommand);
  std::atomic<bool> blocking{false};
  SocketCount received{-1, 0};
  ASSERT_TRUE(lifecycle.Start(
      [&](std::stop_token) {
        char buffer[64];
        blocking = true;
        received = socket.Recv(buffer, sizeof buffer);
      },
      {&socket}));
  EXPECT_TRUE(lifecycle.IsRunning());
  EXPECT_FALSE(lifecycle.Start([](std::stop_token) {})) << "one run at a time";
  while (!blocking.load()) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // into the receive
  const auto start = Clock::now();
  lifecycle.Interrupt();
  ASSERT_TRUE(finished.WaitFor(1));
  const auto woken = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
  std::cout << "finished notice " << woken.count() << " us after Interrupt\n";
  lifecycle.Join();
  EXPECT_FALSE(lifecycle.IsRunning());
  EXPECT_EQ(received.error, WSAEINTR);
  EXPECT_TRUE(received.status().userInterrupted());
  EXPECT_FALSE(socket.IsOpen()) << "the run's sockets are closed when it ends";
  EXPECT_EQ(finished.Count(), 1);
  EXPECT_EQ(finished.Foreign(), 0);

  // The next run starts afresh: the earlier interrupt is forgotten.
  OpenQuietSocket(socket);
  ASSERT_TRUE(lifecycle.Start(
      [&](std::stop_token stop) {
        EXPECT_FALSE(stop.stop_requested());
        EXPECT_FALSE(socket.Interrupted());
      },
      {&socket}));
  ASSERT_TRUE(finished.WaitFor(2));
}

TEST(RunLifecycle, AnInterruptBeforeTheSocketExistsStillStopsIt) {
  FinishedCounter finished;
  CNetSocket socket;
  CRunLifecycle lifecycle(finished, kCommand);
  std::mutex gate;
  std::unique_lock held(gate);
  SocketCount received{-1, 0};
  ASSERT_TRUE(lifecycle.Start(
      [&](std::stop_token stop) {
        std::lock_guard wait(gate);  // until the interrupt has come
        EXPECT_TRUE(stop.stop_requested());
        OpenQuietSocket(socket);
        char buffer[64];
        received = socket.Recv(buffer, sizeof buffer);
      },
      {&socket}));
  lifecycle.Interrupt();
  held.unlock();
  ASSERT_TRUE(finished.WaitFor(1));
  lifecycle.Join();
  EXPECT_EQ(received.error, WSAEINTR);
}

TEST(RunLifecycle, OneNoticePerRunWhenInterruptRacesTheEnd) {
  FinishedCounter finished;
  CNetSocket socket;
  constexpr int kRuns = 200;
  {
    CRunLifecycle lifecycle(finished, kCommand);
    for (int run = 1; run <= kRuns; ++run) {
      OpenQuietSocket(socket);
      ASSERT_TRUE(lifecycle.Start([](std::stop_token) {}, {&socket}));
      // From another thread, from the owner, twice: at any point of the end.
      std::jthread other([&] { lifecycle.Interrupt(); });
      if (run % 2 == 0) lifecycle.Interrupt();
      ASSERT_TRUE(finished.WaitFor(run));
      other.join();
      lifecycle.Join();
      lifecycle.Interrupt();  // after the end: nothing more happens
    }
    // Destroyed while a run blocks: it is interrupted and joined.
    OpenQuietSocket(socket);
    ASSERT_TRUE(lifecycle.Start(
        [&](std::stop_token) {
          char buffer[8];
          static_cast<void>(socket.Recv(buffer, sizeof buffer));
        },
        {&socket}));
  }
  EXPECT_EQ(finished.Count(), kRuns + 1);
  EXPECT_EQ(finished.Foreign(), 0);
}

TEST(RunLifecycle, TheWorkerMayInterruptItsOwnRun) {
  FinishedCounter finished;
  CRunLifecycle lifecycle(finished, kCommand);
  bool stopped = false;
  ASSERT_TRUE(lifecycle.Start([&](std::stop_token stop) {
    lifecycle.Interrupt();
    stopped = stop.stop_requested();
  }));
  ASSERT_TRUE(finished.WaitFor(1));
  lifecycle.Join();
  EXPECT_TRUE(stopped);
}

TEST(RunLifecycle, ARefusedThreadLeavesTheRunIdleWithNoNotice) {
  FinishedCounter finished;
  CRefusingThreads refusing;
  CRunLifecycle lifecycle(finished, kCommand, refusing);
  bool ran = false;
  EXPECT_FALSE(lifecycle.Start([&](std::stop_token) { ran = true; }));
  EXPECT_FALSE(lifecycle.IsRunning());
  EXPECT_FALSE(LaunchDetached(refusing, [&] { ran = true; }));
  EXPECT_EQ(refusing.Attempts(), 2);
  EXPECT_FALSE(ran);
  EXPECT_EQ(finished.Count(), 0);
}

// Starts the thread and returns it only once its work has ended: the worker
// a loaded machine runs to its end before Start has returned.
class FinishingThreads : public IThreadLauncher {
 public:
  std::jthread Launch(Work work) override {
    std::jthread thread([this, work = std::move(work)](std::stop_token stop) {
      work(stop);
      std::lock_guard lock(mutex_);
      done_ = true;
      ended_.notify_all();
    });
    std::unique_lock lock(mutex_);
    ended_.wait(lock, [this] { return done_; });
    return thread;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
};

TEST(RunLifecycle, AWorkerThatEndsBeforeStartReturnsStillStarted) {
  FinishedCounter finished;
  FinishingThreads finishing;
  CRunLifecycle lifecycle(finished, kCommand, finishing);
  EXPECT_TRUE(lifecycle.Start([&](std::stop_token) {}, {}));
  EXPECT_TRUE(finished.WaitFor(1));
  lifecycle.Join();
}

}  // namespace
}  // namespace netrove
