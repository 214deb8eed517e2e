// What the FTP client reads from the server and writes on its command line:
// listings, the 227 reply, command lines, line-end conversion.
#include <gtest/gtest.h>

#include "transfer/ftp_command.h"
#include "transfer/ftp_listing.h"
#include "transfer/ftp_reply_reader.h"
#include "transfer/ftp_transfer.h"

namespace netrove {
namespace {

TEST(FtpListing, KeepsFoldersAndFilesSortedWithNamesWhole) {
  const std::string text =
      "total 12\r\n"
      "drwxr-xr-x   2 bob  staff  4096 Jan  1 12:00 .\r\n"
      "drwxr-xr-x   2 bob  staff  4096 Jan  1 12:00 ..\r\n"
      "-rw-r--r--   1 bob  staff    10 Jan  1 12:00 zeta.txt\r\n"
      "drwxr-xr-x   2 bob  staff  4096 Jan  1  2020 My Folder\r\n"
      "lrwxrwxrwx   1 bob  staff     4 Jan  1 12:00 link -> zeta.txt\r\n"
      "crw-r--r--   1 bob  staff  1, 3 Jan  1 12:00 null\r\n"
      "-rw-r--r--   1 bob  staff    10 Jan  1 12:00  two  blanks\r\n"
      "-rw-r--r--   1 bob  staff    10 Jan  1 12:00 Alpha\r\n"
      "-rw-r--r--   1 bob  staff    10 Jan  1 12:00 cut off";
  const auto entries = ParseUnixListing(text);
  std::vector<FtpListingEntry> expected{{" two  blanks", " two  blanks", false},
                                        {"Alpha", "Alpha", false},
                                        {"My Folder", "My Folder", true},
                                        {"zeta.txt", "zeta.txt", false}};
  EXPECT_EQ(entries, expected);
}

TEST(FtpListing, HostileNamesAreShownSafelyAndNeverBecomeLocalPaths) {
  const std::string text =
      "-rw-r--r-- 1 a b 1 Jan 1 12:00 ../../etc/passwd\r\n"
      "-rw-r--r-- 1 a b 1 Jan 1 12:00 ..\r\n"
      "-rw-r--r-- 1 a b 1 Jan 1 12:00 bell\x07name\r\n"
      "-rw-r--r-- 1 a b 1 Jan 1 12:00 fine.txt\r\n";
  const auto entries = ParseUnixListing(text);
  ASSERT_EQ(entries.size(), 4u);
  for (const auto& entry : entries) {
    EXPECT_EQ(LocalPathForListedName("/tmp/drop", entry.name).has_value(), entry.name == "fine.txt")
        << entry.label;
  }
  EXPECT_EQ(DisplayName("bell\x07name"), "bell?name");
  EXPECT_FALSE(IsSafeLocalName(std::string("a\0b", 3)));
  EXPECT_FALSE(IsSafeLocalName("."));
  EXPECT_FALSE(IsSafeLocalName(""));
}

TEST(FtpListing, AHundredThousandLinesAndAHugeLineAreReadOnce) {
  std::string text;
  for (int i = 0; i < 100000; ++i) {
    text += "-rw-r--r-- 1 a b 1 Jan 1 12:00 file" + std::to_string(i) + "\r\n";
  }
  text += "-rw-r--r-- 1 a b 1 Jan 1 12:00 " + std::string(1024 * 1024, 'n') + "\r\n";
  const auto entries = ParseUnixListing(text);
  ASSERT_EQ(entries.size(), 100001u);
  EXPECT_EQ(entries.front().name, "file0");
}

TEST(FtpCommandLine, RefusesLineBreaksNulAndOverlongArguments) {
  EXPECT_EQ(FormatFtpCommand(FtpCommand::Dele, "a b.txt"), "DELE a b.txt\r\n");
  EXPECT_EQ(FormatFtpCommand(FtpCommand::List, std::nullopt), "LIST\r\n");
  EXPECT_FALSE(FormatFtpCommand(FtpCommand::Dele, "x\nDELE y"));
  EXPECT_FALSE(FormatFtpCommand(FtpCommand::Dele, "x\rDELE y"));
  EXPECT_FALSE(FormatFtpCommand(FtpCommand::Dele, std::string("x\0y", 3)));
  EXPECT_TRUE(FormatFtpCommand(FtpCommand::Retr, std::string(2048 - 7, 'a')));
  EXPECT_FALSE(FormatFtpCommand(FtpCommand::Retr, std::string(2048 - 6, 'a')));
  EXPECT_FALSE(FormatFtpCommand(static_cast<FtpCommand>(kFtpCommandCount), std::nullopt));
  EXPECT_EQ(FtpEchoLine(FtpCommand::Pass, "secret"), "PASS ****\r\n");
  in_addr address{};
  address.s_addr = htonl(0x7F000001);
  EXPECT_EQ(PortArgument(address, 0x1234), "127,0,0,1,18,52");
}

TEST(FtpPassiveReply, ReadsSixNumbersOrNothing) {
  const auto parsed = ParsePassiveReply("ntering Passive Mode (10,1,2,3,200,7).");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->address[0], 10);
  EXPECT_EQ(parsed->address[3], 3);
  EXPECT_EQ(parsed->port, 200 * 256 + 7);
  EXPECT_FALSE(ParsePassiveReply("ntering Passive Mode (10,1,2,3,200)"));
  EXPECT_FALSE(ParsePassiveReply("ntering Passive Mode (10,1,2,3,256,7)"));
  EXPECT_FALSE(ParsePassiveReply("10,1,2,3,4,5"));  // each number after a non-digit
  EXPECT_FALSE(ParsePassiveReply(""));
}

TEST(FtpPassiveReply, ExtendedReadsOnlyAPortBetweenItsDelimiters) {
  EXPECT_EQ(ParseExtendedPassiveReply("Entering Extended Passive Mode (|||6446|)"), 6446);
  EXPECT_EQ(ParseExtendedPassiveReply("ok (!!!65535!)."), 65535);
  for (const char* bad : {"(|||0|)", "(|||65536|)", "(||||)", "(|||6446)", "(|||6446!)",
                          "(||6446|)", "(1116441)", "( 6446 )", "|||6446|", "(", ""}) {
    EXPECT_FALSE(ParseExtendedPassiveReply(bad)) << bad;
  }
  auto address = SocketAddress::FromText("fe80::1%lo");
  ASSERT_TRUE(address);
  address->setPort(6446);
  EXPECT_EQ(ExtendedPortArgument(*address), "|2|fe80::1|6446|");  // no scope for the server
  EXPECT_EQ(ExtendedPortArgument(SocketAddress::FromIPv4(in_addr{htonl(0x7F000001)}, 21)),
            "|1|127.0.0.1|21|");
}

TEST(FtpLineEnds, AsciiConversionSurvivesAnySplit) {
  const std::string wire = "a\r\nb\rc\r\n\r\n";
  for (std::size_t split = 0; split <= wire.size(); ++split) {
    CAsciiDecoder decoder;
    std::string decoded;
    decoder.Decode(wire.substr(0, split), decoded);
    decoder.Decode(wire.substr(split), decoded);
    decoder.Flush(decoded);
    EXPECT_EQ(decoded, "a\nb\rc\n\n") << split;
  }
  const std::string file = "a\nb\r\nc\n";
  for (std::size_t split = 0; split <= file.size(); ++split) {
    CAsciiEncoder encoder;
    std::string encoded;
    encoder.Encode(file.substr(0, split), encoded);
    encoder.Encode(file.substr(split), encoded);
    EXPECT_EQ(encoded, "a\r\nb\r\nc\r\n") << split;
  }
}

TEST(FtpReplyReader, SeparatesRepliesFromPlainLinesInAnyPieces) {
  const std::string stream =
      "Banner without a code\r\n"
      "220-Welcome\r\n"
      "not a code inside\r\n"
      "220 ready\r\n"
      "200x odd but a reply\r\n"
      "331 Password\n";
  for (std::size_t split = 0; split <= stream.size(); ++split) {
    CFtpReplyReader reader;
    std::vector<FtpServerLine> lines;
    ASSERT_TRUE(reader.Feed(stream.substr(0, split), lines));
    ASSERT_TRUE(reader.Feed(stream.substr(split), lines));
    ASSERT_EQ(lines.size(), 4u) << split;
    EXPECT_FALSE(lines[0].isReply);
    EXPECT_EQ(lines[1].code, 220);
    EXPECT_EQ(lines[1].firstLine, "220-Welcome");
    EXPECT_EQ(lines[1].transcript, "220-Welcome\r\nnot a code inside\r\n220 ready\r\n");
    EXPECT_EQ(lines[2].code, 200);
    EXPECT_EQ(lines[3].code, 331);
  }
  CFtpReplyReader reader;
  std::vector<FtpServerLine> lines;
  EXPECT_FALSE(reader.Feed(std::string(CFtpReplyReader::kMaxLine + 1, 'x'), lines));
}

}  // namespace
}  // namespace netrove
