#pragma once
// What a server's CAPABILITIES list says about how to talk to it: whether
// it reads news already or must be switched, whether it can secure the
// connection in place, whether it takes a sign-in by user name and
// password, and how walks may read the overview.
#include <string_view>

#include "news/nntp_overview.h"

namespace netrove {

struct NntpCapabilities {
  bool reader = false;      // READER: reader commands work as they are
  bool startTls = false;    // STARTTLS
  bool userSignIn = false;  // AUTHINFO with USER among its arguments
  NntpOverview overview = NntpOverview::None;
};

// Keywords are matched in any case; lines that are blank, overlong or
// malformed are skipped.
NntpCapabilities ParseNntpCapabilities(std::string_view list);

}  // namespace netrove
