#pragma once
// Netascii, the line-end form of TFTP's text mode: on the wire every line ends
// in CR LF and a lone CR travels as CR NUL. Locally a line ends in LF. Both
// directions keep their state between blocks, because a CR may be the last
// byte of one block and its partner the first of the next.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace netrove {

class ITftpFile;

// Local text → wire: LF becomes CR LF, CR becomes CR NUL.
class CNetasciiEncoder {
 public:
  // Fills `block` from the file; returns the bytes placed (fewer than the
  // block's size only at the end of the file) or -errno.
  long Fill(ITftpFile& file, std::span<std::uint8_t> block);

 private:
  bool NextByte(ITftpFile& file, std::uint8_t& byte, long& error);

  std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(4096);
  std::size_t position_ = 0;
  std::size_t filled_ = 0;
  bool pending_ = false;  // the second byte of a pair is still to be placed
  std::uint8_t pendingByte_ = 0;
};

// Wire → local text: CR LF becomes LF, CR NUL becomes CR.
class CNetasciiDecoder {
 public:
  // Appends the local form of `data` to `out`. False when a CR is followed by
  // anything but LF or NUL.
  bool Decode(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out);
  // The transfer ended: a CR still waiting for its partner is written as is.
  void Finish(std::vector<std::uint8_t>& out);

 private:
  bool crPending_ = false;
};

}  // namespace netrove
