#pragma once
// The overview database a server offers (OVER, or XOVER before it had a
// standard name): one line per article with its Subject, From, Date,
// Message-ID, References, size and line count. A walk asks for a range of
// numbers in one command instead of a HEAD per article; the lines are
// turned back into the header blocks a HEAD would have given, so filing and
// threading see no difference.
#include <string>
#include <string_view>
#include <vector>

#include "news/nntp_events.h"

namespace netrove {

// What a server offers for reading the overview.
enum class NntpOverview { None, Over, Xover };

// From a CAPABILITIES list: OVER where it is listed, XOVER where only that
// is (some servers list the old name), None otherwise.
NntpOverview OverviewOffered(std::string_view capabilities);

// The articles of an overview block numbered low..high, as header blocks,
// each number once. Lines that are malformed, numbered outside the range
// or repeated are skipped; a field's CR, LF and NUL become blanks so no
// field can add a header line of its own.
std::vector<NntpHeaderBlock> OverviewHeaders(std::string_view block, long low, long high);

}  // namespace netrove
