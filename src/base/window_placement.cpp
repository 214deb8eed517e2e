#include "base/window_placement.h"

#include <algorithm>

#include "base/settings_store.h"

namespace netrove {
namespace {

// The record's value names, plain and with the posting window's prefix.
struct PlacementNames {
  std::string flags, showCmd, left, top, right, bottom;
};

PlacementNames NamesFor(std::string_view toolName) {
  if (PlacementPrefix(toolName).empty()) {
    return {"wpFlags", "wpShowCmd", "wpLeft", "wpTop", "wpRight", "wpBottom"};
  }
  const std::string p = PlacementPrefix(toolName);
  return {p + "WpFlags", p + "WpShowCmd", p + "WpLeft", p + "WpTop", p + "WpRight", p + "WpBottom"};
}

bool SwitchIsOn(const CToolKey& key, std::string_view toolName) {
  std::uint32_t enabled = 0;
  key.ReadDword(PlacementSwitchName(toolName), enabled);
  return enabled != 0;
}

// One axis of the clamp, in 64 bits so that no stored pair overflows: the
// extent is at most the area's and at least one pixel, and the start keeps
// the whole extent inside.
void ClampAxis(std::int32_t& start, std::int32_t& end, std::int32_t areaStart,
               std::int32_t areaEnd) {
  const std::int64_t room = std::max<std::int64_t>(std::int64_t{areaEnd} - areaStart, 1);
  const std::int64_t extent = std::clamp<std::int64_t>(std::int64_t{end} - start, 1, room);
  const std::int64_t first = std::clamp<std::int64_t>(start, areaStart, areaStart + room - extent);
  start = static_cast<std::int32_t>(first);
  end = static_cast<std::int32_t>(first + extent);
}

}  // namespace

WindowPlacement ClampIntoArea(WindowPlacement placement, const ScreenArea& area) {
  ClampAxis(placement.left, placement.right, area.left, area.right);
  ClampAxis(placement.top, placement.bottom, area.top, area.bottom);
  return placement;
}

std::string PlacementSwitchName(std::string_view toolName) {
  const std::string prefix = PlacementPrefix(toolName);
  return prefix.empty() ? "SizeAndPosition" : prefix + "WndSizeAndPosition";
}

void SaveWindowPlacement(const IPlacementWindow& window, std::string_view toolName) {
  auto key = OpenToolKey(toolName, true);
  if (!key || !SwitchIsOn(*key, toolName)) return;
  const WindowPlacement placement = window.GetPlacement();
  const PlacementNames names = NamesFor(toolName);
  key->WriteDwords({{names.flags, placement.flags},
                    {names.showCmd, placement.showCmd},
                    {names.left, static_cast<std::uint32_t>(placement.left)},
                    {names.top, static_cast<std::uint32_t>(placement.top)},
                    {names.right, static_cast<std::uint32_t>(placement.right)},
                    {names.bottom, static_cast<std::uint32_t>(placement.bottom)}});
}

bool RestoreWindowPlacement(IPlacementWindow& window, std::string_view toolName) {
  const auto key = OpenToolKey(toolName, false);
  if (!key || !SwitchIsOn(*key, toolName)) return false;
  WindowPlacement placement = window.GetPlacement();
  const PlacementNames names = NamesFor(toolName);
  const bool complete = key->ReadDword(names.flags, placement.flags) &&
                        key->ReadDword(names.showCmd, placement.showCmd) &&
                        key->ReadDword(names.left, placement.left) &&
                        key->ReadDword(names.top, placement.top) &&
                        key->ReadDword(names.right, placement.right) &&
                        key->ReadDword(names.bottom, placement.bottom);
  if (!complete) return false;
  // A main window saved on a larger screen, or beside one that is gone,
  // comes back whole on the screen it opens on. Tool windows live inside
  // the main window, which scrolls to them.
  if (window.IsMainWindow()) placement = ClampIntoArea(placement, window.AvailableArea());
  window.SetPlacement(placement);
  return true;
}

}  // namespace netrove
