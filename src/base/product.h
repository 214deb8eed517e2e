#pragma once
// Fixed texts naming the product and its maker.
#include <string_view>

namespace netrove {

inline constexpr std::string_view kProductTitle = "Netrove";
inline constexpr std::string_view kMakerName = "Corvane Inc.";  // string 61218
inline constexpr std::string_view kVersionText = "Version 3.00 (Build 55).";
inline constexpr std::string_view kVersionLine = "Netrove - Version 3.00 (Build 55).";
// Footer of every printed page: application title, " by ", maker.
inline constexpr std::string_view kPrintFooter = "Netrove by Corvane Inc.";

}  // namespace netrove
