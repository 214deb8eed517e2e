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

class IPlacementWindow {
 public:
  virtual ~IPlacementWindow() = default;
  virtual WindowPlacement GetPlacement() const = 0;
  virtual void SetPlacement(const WindowPlacement& placement) = 0;
  // Main window only: the limits of the clamp (screen size less an icon).
  virtual bool IsMainWindow() const { return false; }
  virtual int ScreenWidth() const { return 0; }
  virtual int ScreenHeight() const { return 0; }
  virtual int IconWidth() const { return 32; }
  virtual int IconHeight() const { return 32; }
};

// Name of the "Save size and position on closing." switch in the tool's key:
// "SizeAndPosition", or "postingWndSizeAndPosition" for the posting window.
std::string PlacementSwitchName(std::string_view toolName);

// Writes the placement when the tool key's SizeAndPosition switch is on.
void SaveWindowPlacement(const IPlacementWindow& window, std::string_view toolName);
// Applies a stored placement; false (nothing applied) when the switch is off
// or any of the six values is missing.
bool RestoreWindowPlacement(IPlacementWindow& window, std::string_view toolName);

}  // namespace netrove
