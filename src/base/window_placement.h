#pragma once
// Saving and restoring a window's placement in its tool key, over a small
// geometry interface so the rules are tested without a window system.
#include <cstdint>
#include <string>
#include <string_view>

namespace netrove {

struct WindowPlacement {
  std::uint32_t flags = 0;
  std::uint32_t showCmd = 1;  // 1 normal, 2 minimised, 3 maximised
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  bool operator==(const WindowPlacement&) const = default;
};

inline constexpr std::uint32_t kShowNormal = 1;
inline constexpr std::uint32_t kShowMinimized = 2;
inline constexpr std::uint32_t kShowMaximized = 3;

// A rectangle of the screen: left and top included, right and bottom not.
struct ScreenArea {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};

class IPlacementWindow {
 public:
  virtual ~IPlacementWindow() = default;
  virtual WindowPlacement GetPlacement() const = 0;
  virtual void SetPlacement(const WindowPlacement& placement) = 0;
  // Main window only: the screen's area that windows may take (without the
  // desktop's panels), which a restored placement is clamped into.
  virtual bool IsMainWindow() const { return false; }
  virtual ScreenArea AvailableArea() const { return {}; }
};

// The placement's normal rectangle moved into `area` and, where it is wider
// or taller than the area, shrunk to it. Any stored values, however absurd,
// give a rectangle inside the area.
WindowPlacement ClampIntoArea(WindowPlacement placement, const ScreenArea& area);

// Name of the "Save size and position on closing." switch in the tool's key:
// "SizeAndPosition", or "postingWndSizeAndPosition" for the posting window.
std::string PlacementSwitchName(std::string_view toolName);

// Writes the placement when the tool key's SizeAndPosition switch is on.
void SaveWindowPlacement(const IPlacementWindow& window, std::string_view toolName);
// Applies a stored placement; false (nothing applied) when the switch is off
// or any of the six values is missing.
bool RestoreWindowPlacement(IPlacementWindow& window, std::string_view toolName);

}  // namespace netrove
