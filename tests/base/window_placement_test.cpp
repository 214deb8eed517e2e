#include "base/window_placement.h"

#include <gtest/gtest.h>

#include "base/settings_store.h"
#include "support/scoped_home.h"

namespace netrove {
namespace {

class FakeWindow : public IPlacementWindow {
 public:
  explicit FakeWindow(WindowPlacement placement, bool mainWindow = false)
      : placement_(placement), mainWindow_(mainWindow) {}
  WindowPlacement GetPlacement() const override { return placement_; }
  void SetPlacement(const WindowPlacement& placement) override {
    placement_ = placement;
    ++applied_;
  }
  bool IsMainWindow() const override { return mainWindow_; }
  int ScreenWidth() const override { return 1024; }
  int ScreenHeight() const override { return 768; }

  WindowPlacement placement_;
  bool mainWindow_;
  int applied_ = 0;
};

constexpr WindowPlacement kCreatedAt{0, kShowNormal, 10, 20, 410, 320};

class Placement : public ::testing::Test {
 protected:
  // Writes a complete record (switch on) with the given edges.
  void StoreRecord(std::string_view tool, std::int32_t left, std::int32_t top) {
    auto key = CreateToolKey(tool);
    ASSERT_TRUE(key && key->WriteDword(PlacementSwitchName(tool), 1));
    SaveWindowPlacement(FakeWindow({2, kShowMaximized, left, top, left + 300, top + 200}), tool);
  }

  test::ScopedHome home_;
};

TEST_F(Placement, SavedOnlyWhileTheSwitchIsOnAndRestoredAsSaved) {
  const WindowPlacement saved{2, kShowMaximized, -40, -8, 600, 500};
  SaveWindowPlacement(FakeWindow(saved), "Ping");
  EXPECT_FALSE(OpenToolKey("Ping", false).has_value()) << "first run: nothing is saved";

  ASSERT_TRUE(CreateToolKey("Ping")->WriteDword("SizeAndPosition", 0));
  SaveWindowPlacement(FakeWindow(saved), "Ping");
  EXPECT_FALSE(OpenToolKey("Ping", false)->ReadRaw("wpLeft").has_value());

  ASSERT_TRUE(CreateToolKey("Ping")->WriteDword("SizeAndPosition", 1));
  SaveWindowPlacement(FakeWindow(saved), "Ping");
  FakeWindow window(kCreatedAt);
  EXPECT_TRUE(RestoreWindowPlacement(window, "ping"));
  EXPECT_EQ(window.placement_, saved) << "signed edges come back signed";

  ASSERT_TRUE(CreateToolKey("Ping")->WriteDword("SizeAndPosition", 0));
  FakeWindow switchedOff(kCreatedAt);
  EXPECT_FALSE(RestoreWindowPlacement(switchedOff, "Ping"));
  EXPECT_EQ(switchedOff.applied_, 0);
}

TEST_F(Placement, ARecordMissingAnyValueRestoresNothing) {
  for (const char* missing : {"wpFlags", "wpShowCmd", "wpLeft", "wpTop", "wpRight", "wpBottom"}) {
    ASSERT_TRUE(DeleteProgramKeys());
    auto key = CreateToolKey("Finger");
    ASSERT_TRUE(key && key->WriteDword("SizeAndPosition", 1));
    for (const char* name : {"wpFlags", "wpShowCmd", "wpLeft", "wpTop", "wpRight", "wpBottom"}) {
      if (std::string_view(name) != missing) {
        ASSERT_TRUE(key->WriteDword(name, 100));
      }
    }
    FakeWindow window(kCreatedAt);
    EXPECT_FALSE(RestoreWindowPlacement(window, "Finger")) << missing;
    EXPECT_EQ(window.applied_, 0) << missing;
    EXPECT_EQ(window.placement_, kCreatedAt) << missing;
  }
}

TEST_F(Placement, MainWindowIsPulledBackOntoTheScreenToolWindowsAreNot) {
  StoreRecord("Netrove", 2000, 900);
  FakeWindow main(kCreatedAt, true);
  ASSERT_TRUE(RestoreWindowPlacement(main, "Netrove"));
  EXPECT_EQ(main.placement_.left, 1024 - 32);
  EXPECT_EQ(main.placement_.top, 768 - 32);
  EXPECT_EQ(main.placement_.right, 2300) << "right and bottom are left alone";
  EXPECT_EQ(main.placement_.bottom, 1100);

  StoreRecord("Netrove", 991, 735);
  ASSERT_TRUE(RestoreWindowPlacement(main, "Netrove"));
  EXPECT_EQ(main.placement_.left, 991);
  EXPECT_EQ(main.placement_.top, 735);

  StoreRecord("Ping", 2000, 900);
  FakeWindow tool(kCreatedAt);
  ASSERT_TRUE(RestoreWindowPlacement(tool, "Ping"));
  EXPECT_EQ(tool.placement_.left, 2000);
  EXPECT_EQ(tool.placement_.top, 900);
}

TEST_F(Placement, PostingWindowKeepsItsOwnRecordInTheNewsreadersKey) {
  EXPECT_EQ(PlacementSwitchName("NNTPPost"), "postingWndSizeAndPosition");
  EXPECT_EQ(PlacementSwitchName("NNTP"), "SizeAndPosition");
  StoreRecord("NNTPPost", 50, 60);

  auto key = OpenToolKey("NNTP", false);
  ASSERT_TRUE(key.has_value());
  for (const char* name : {"postingWpFlags", "postingWpShowCmd", "postingWpLeft", "postingWpTop",
                           "postingWpRight", "postingWpBottom"}) {
    EXPECT_TRUE(key->ReadRaw(name).has_value()) << name;
  }
  EXPECT_FALSE(key->ReadRaw("wpLeft").has_value());

  FakeWindow newsreader(kCreatedAt);
  EXPECT_FALSE(RestoreWindowPlacement(newsreader, "NNTP"));
  FakeWindow posting(kCreatedAt);
  ASSERT_TRUE(RestoreWindowPlacement(posting, "NNTPPost"));
  EXPECT_EQ(posting.placement_.left, 50);
  EXPECT_EQ(posting.placement_.top, 60);
}

}  // namespace
}  // namespace netrove
