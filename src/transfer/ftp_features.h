#pragma once
// The extensions a server names in its answer to FEAT (RFC 2389): one per
// line, each line led by a blank, a keyword and, for some, parameters
// ("MLST type*;size*;modify*;"). The set is the server's for the whole
// connection; nothing beyond it is ever asked of the server.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace netrove {

class CFtpFeatures {
 public:
  // The features in the complete text of a 211 reply (every line with its
  // line end, as the transcript shows it). A reply of one line names none.
  static CFtpFeatures FromReply(std::string_view reply);

  // Whether the server named `keyword` (without regard to case).
  bool Has(std::string_view keyword) const;
  // The parameters after a feature's keyword, "" when there are none.
  std::string_view Parameters(std::string_view keyword) const;
  bool empty() const { return features_.empty(); }

 private:
  std::vector<std::pair<std::string, std::string>> features_;  // upper-case keyword, parameters
};

}  // namespace netrove
