// What the FTP client reads from the server and writes on its command line:
// listings, the 227 reply, command lines, line-end conversion.
#include <gtest/gtest.h>

#include "transfer/ftp_command.h"
#include "transfer/ftp_features.h"
#include "transfer/ftp_listing.h"
#include "transfer/ftp_reply_reader.h"
#include "transfer/ftp_transfer.h"

namespace netrove {
namespace {

// An entry with nothing but its name (shown as it is) and its kind.
FtpListingEntry Named(std::string name, bool isFolder) {
  FtpListingEntry entry;
  entry.label = name;
  entry.name = std::move(name);
  entry.isFolder = isFolder;
  return entry;
}

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
  const auto entries = ParseListing(text);
  std::vector<FtpListingEntry> expected{Named(" two  blanks", false), Named("Alpha", false),
                                        Named("My Folder", true), Named("zeta.txt", false)};
  EXPECT_EQ(entries, expected);
}

TEST(FtpListing, HostileNamesAreShownSafelyAndNeverBecomeLocalPaths) {
  const std::string text =
      "-rw-r--r-- 1 a b 1 Jan 1 12:00 ../../etc/passwd\r\n"
      "-rw-r--r-- 1 a b 1 Jan 1 12:00 ..\r\n"
      "-rw-r--r-- 1 a b 1 Jan 1 12:00 bell\x07name\r\n"
      "-rw-r--r-- 1 a b 1 Jan 1 12:00 fine.txt\r\n";
  const auto entries = ParseListing(text);
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
  const auto entries = ParseListing(text);
  ASSERT_EQ(entries.size(), 100001u);
  EXPECT_EQ(entries.front().name, "file0");
}

// MLSD: exact sizes and times (UTC), names whole with their blanks and
// UTF-8 bytes; a line whose facts are malformed, or that names anything but
// a file or a folder, is skipped whole rather than half believed.
TEST(FtpListing, MachineListingGivesExactFactsAndSkipsTheRest) {
  const std::string text =
      "type=cdir;perm=el; .\r\n"
      "type=pdir;perm=el; ..\r\n"
      "type=file;size=1048579;modify=20261210071500.123;perm=adfrw; a name with  blanks\r\n"
      "Type=DIR;Modify=19991231235959;UNIX.mode=0755; \xC3\x9C"
      "nic\xC3\xB6"
      "de folder\r\n"
      "type=OS.unix=slink:/etc;size=4; link\r\n"
      "type=file;size=12x; bad size\r\n"
      "type=file;size=99999999999999999999999; overflowing size\r\n"
      "type=file;modify=20260230000000; no such day\r\n"
      "size=3; untyped\r\n"
      "type=file;size=1;=x; nameless fact\r\n"
      "type=file;size=5; sub/../escape\r\n"
      "type=file;size=5;\r\n"
      "type=file;size=5; cut off";
  auto file = Named("a name with  blanks", false);
  file.size = 1048579;
  file.modified = 1796886900;
  file.permissions = "adfrw";
  auto folder = Named(
      "\xC3\x9C"
      "nic\xC3\xB6"
      "de folder",
      true);
  folder.modified = 946684799;
  EXPECT_EQ(ParseListing(text), (std::vector<FtpListingEntry>{file, folder}));
}

// Servers without MLSD: DOS/Windows lines beside Unix ones, each read in its
// own style.
TEST(FtpListing, DosAndUnixLinesAreEachReadInTheirOwnStyle) {
  const std::string text =
      "12-10-26  07:15AM       <DIR>          My Docs\r\n"
      "01-02-2024  18:30            1234 report 2024.txt\r\n"
      "12-10-26  07:15AM         12x4 bad size\r\n"
      "12-10-26  7:15AM         1 bad time\r\n"
      "12/10/26  07:15AM         1 bad date\r\n"
      "12-10-26  07:15AM       <DIR>   \r\n"
      "-rw-r--r-- 1 a b 5 Jan 1 12:00 unix.txt\r\n";
  auto report = Named("report 2024.txt", false);
  report.size = 1234;
  EXPECT_EQ(ParseListing(text), (std::vector<FtpListingEntry>{Named("My Docs", true), report,
                                                              Named("unix.txt", false)}));
}

TEST(FtpTime, ReadsUtcStampsWithinTheCalendarOnly) {
  EXPECT_EQ(ParseFtpTime("19700101000000"), 0);
  EXPECT_EQ(ParseFtpTime("20240229120000"), 1709208000);
  EXPECT_EQ(ParseFtpTime("20240229120000.5"), 1709208000);
  for (const char* bad : {"20230229120000", "20241301000000", "20240101240000", "2024010112000",
                          "2024010112000x", "20240101120000.", "20240101120000.x", ""}) {
    EXPECT_FALSE(ParseFtpTime(bad)) << bad;
  }
}

TEST(FtpFeatures, NamesEachFeatureWithItsParameters) {
  const auto features = CFtpFeatures::FromReply(
      "211-Features:\r\n"
      " MDTM\r\n"
      " MLST type*;perm*;size*;modify*;\r\n"
      "  utf8\r\n"
      " REST STREAM\r\n"
      "211 End\r\n");
  EXPECT_TRUE(features.Has("mdtm"));
  EXPECT_TRUE(features.Has("UTF8"));
  EXPECT_EQ(features.Parameters("MLST"), "type*;perm*;size*;modify*;");
  EXPECT_EQ(features.Parameters("REST"), "STREAM");
  EXPECT_FALSE(features.Has("SIZE"));
  EXPECT_FALSE(features.Has("End"));
  EXPECT_TRUE(CFtpFeatures::FromReply("211 no extensions\r\n").empty());
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
