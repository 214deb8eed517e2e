#include "base/window_placement.h"

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

// A window left beyond the right or bottom screen edge (say after a change to
// a smaller screen) is pulled back so that an icon's width of it shows.
void ClampToScreen(const IPlacementWindow& window, WindowPlacement& placement) {
  const int maxLeft = window.ScreenWidth() - window.IconWidth();
  const int maxTop = window.ScreenHeight() - window.IconHeight();
  if (placement.left >= maxLeft) placement.left = maxLeft;
  if (placement.top >= maxTop) placement.top = maxTop;
}

}  // namespace

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
  if (window.IsMainWindow()) ClampToScreen(window, placement);
  window.SetPlacement(placement);
  return true;
}

}  // namespace netrove
