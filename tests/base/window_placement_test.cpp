#include "base/window_placement.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>

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
  // A 1024 x 768 screen with a 32-pixel panel at its top.
  ScreenArea AvailableArea() const override { return {0, 32, 1024, 768}; }

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

TEST_F(Placement, MainWindowComesBackWholeOnTheScreenToolWindowsAsStored) {
  StoreRecord("Netrove", 2000, 900);
  FakeWindow main(kCreatedAt, true);
  ASSERT_TRUE(RestoreWindowPlacement(main, "Netrove"));
  EXPECT_EQ(main.placement_, (WindowPlacement{2, kShowMaximized, 724, 568, 1024, 768}));

  StoreRecord("Netrove", 100, 200);
  ASSERT_TRUE(RestoreWindowPlacement(main, "Netrove"));
  EXPECT_EQ(main.placement_, (WindowPlacement{2, kShowMaximized, 100, 200, 400, 400}));

  StoreRecord("Ping", 2000, 900);
  FakeWindow tool(kCreatedAt);
  ASSERT_TRUE(RestoreWindowPlacement(tool, "Ping"));
  EXPECT_EQ(tool.placement_.left, 2000);
  EXPECT_EQ(tool.placement_.top, 900);
}

TEST(PlacementClamp, LargerThanTheAreaShrinksAndAbsurdValuesStayInside) {
  const ScreenArea area{0, 32, 1024, 768};
  const auto clamp = [&](std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
    const WindowPlacement p = ClampIntoArea({0, kShowNormal, l, t, r, b}, area);
    return std::array{p.left, p.top, p.right, p.bottom};
  };
  using Edges = std::array<std::int32_t, 4>;
  EXPECT_EQ(clamp(5000, 5000, 5800, 5600), (Edges{224, 168, 1024, 768}));
  EXPECT_EQ(clamp(-300, -300, 5000, 100), (Edges{0, 32, 1024, 432}));
  EXPECT_EQ(clamp(0, 0, INT32_MAX, INT32_MAX), (Edges{0, 32, 1024, 768}));
  EXPECT_EQ(clamp(INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX), (Edges{1023, 32, 1024, 768}));
  EXPECT_EQ(ClampIntoArea({}, ScreenArea{}).right, 1) << "no screen: a pixel, not a crash";
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
