#include "base/registry_file.h"

#include <gtest/gtest.h>

namespace netrove {
namespace {

constexpr std::string_view kPing = "HKEY_CURRENT_USER\\Software\\Corvane Inc.\\Netrove\\Ping";

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

RegistryFile Parsed(std::string_view text) {
  std::string error;
  auto file = RegistryFile::Parse(text, &error);
  EXPECT_TRUE(file.has_value()) << error;
  return file.value_or(RegistryFile{});
}

TEST(RegistryFile, OddRawValuesSurviveFormatAndParse) {
  RegistryFile file;
  auto& key = file.CreateKey(kPing);
  key.SetValue({"Dword", kRegDword, {0x64, 0, 0, 0}});
  key.SetValue({"Text", kRegSz, Bytes(std::string_view("say \"hi\" C:\\x\0", 14))});
  key.SetValue({"EmbeddedZero", kRegSz, Bytes(std::string_view("a\0b\0", 4))});
  key.SetValue({"LineBreak", kRegSz, Bytes(std::string_view("a\r\nb\0", 5))});
  key.SetValue({"Unterminated", kRegSz, Bytes("ab")});
  key.SetValue({"EmptySz", kRegSz, {}});
  key.SetValue({"ShortDword", kRegDword, {1, 2, 3}});
  key.SetValue({"LongDword", kRegDword, {1, 2, 3, 4, 5, 6, 7, 8}});
  key.SetValue({"Odd \"name\" \\ here", 0x2000000a, {0xff}});
  key.SetValue({"", 0, {}});
  std::vector<std::uint8_t> blob(300);
  for (std::size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<std::uint8_t>(i * 7);
  key.SetValue({"Blob", kRegBinary, blob});
  file.CreateKey("HKEY_CURRENT_USER\\Software\\Corvane Inc.\\Netrove\\Empty key");

  const std::string text = file.Format();
  EXPECT_EQ(Parsed(text), file);
  EXPECT_EQ(Parsed(text).Format(), text);
  EXPECT_TRUE(
      text.starts_with("REGEDIT4\n\n[" + std::string(kPing) + "]\n\"Dword\"=dword:00000064\n"));
  EXPECT_NE(text.find("\"Text\"=\"say \\\"hi\\\" C:\\\\x\"\n"), std::string::npos);
  EXPECT_NE(text.find("\"EmbeddedZero\"=hex(1):61,00,62,00\n"), std::string::npos);
  EXPECT_NE(text.find("\"Unterminated\"=hex(1):61,62\n"), std::string::npos);
  EXPECT_NE(text.find("\"EmptySz\"=hex(1):\n"), std::string::npos);
  EXPECT_NE(text.find("\"ShortDword\"=hex(4):01,02,03\n"), std::string::npos);
  EXPECT_NE(text.find("=hex(2000000a):ff\n"), std::string::npos);
  EXPECT_NE(text.find("@=hex(0):\n"), std::string::npos);
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    EXPECT_LE(end - start, 80u) << "long hex lists are wrapped";
  }
}

TEST(RegistryFile, ReadsHandEditedText) {
  const auto file = Parsed(
      "\xEF\xBB\xBFREGEDIT4\r\n\r\n; a comment\r\n"
      "[HKEY_CURRENT_USER\\Software\\Corvane Inc.\\Netrove\\FTP]\r\n"
      "  \"Editor\" = \"C:\\tools\\edit\"  \r\n"
      "\"Bell\"=DWORD:1\r\n"
      "@=\"default\"\r\n"
      "\"Data\"=hex:01,02,\\\r\n"
      "    03 , 04\r\n");
  const auto* key = file.FindKey("hkey_current_user\\software\\corvane inc.\\netrove\\ftp");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->FindValue("editor")->bytes, Bytes(std::string_view("C:\\tools\\edit\0", 14)));
  EXPECT_EQ(key->FindValue("BELL")->bytes, (std::vector<std::uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(key->FindValue("")->type, kRegSz);
  EXPECT_EQ(key->FindValue("Data")->bytes, (std::vector<std::uint8_t>{1, 2, 3, 4}));
}

TEST(RegistryFile, SameNamesInOtherCaseAreOneKeyOrValueKeepingTheFirstSpelling) {
  const auto file = Parsed(
      "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\TraceRoute]\n\"TTL\"=dword:00000001\n"
      "[hkey_current_user\\software\\traceroute]\n\"ttl\"=dword:00000002\n");
  ASSERT_EQ(file.keys().size(), 1u);
  EXPECT_EQ(file.keys()[0].path, "HKEY_CURRENT_USER\\Software\\TraceRoute");
  ASSERT_EQ(file.keys()[0].values.size(), 1u);
  EXPECT_EQ(file.keys()[0].values[0].name, "TTL");
  EXPECT_EQ(file.keys()[0].values[0].bytes[0], 2);
}

TEST(RegistryFile, RefusesTextItCannotAccountFor) {
  const char* const damaged[] = {
      "REGEDIT5\n",
      "garbage",
      "REGEDIT4\n\"a\"=dword:1\n",
      "REGEDIT4\n[HKEY_CURRENT_USER\n",
      "REGEDIT4\n[-HKEY_CURRENT_USER\\Software]\n",
      "REGEDIT4\n[HKEY_CURRENT_USER\\\\Software]\n",
      "REGEDIT4\n[K]\n\"a\"=\"unterminated\n",
      "REGEDIT4\n[K]\n\"a\"=\"x\" trailing\n",
      "REGEDIT4\n[K]\n\"a\"=dword:123456789\n",
      "REGEDIT4\n[K]\n\"a\"=dword:-1\n",
      "REGEDIT4\n[K]\n\"a\"=hex:1g\n",
      "REGEDIT4\n[K]\n\"a\"=hex:100\n",
      "REGEDIT4\n[K]\n\"a\"=hex:01,,02\n",
      "REGEDIT4\n[K]\n\"a\"=hex(zz):01\n",
      "REGEDIT4\n[K]\n\"a\"=hex:01,\\\n",
      "REGEDIT4\n[K]\n\"a\"=-\n",
      "REGEDIT4\n[K]\n\"a\"\n",
      "REGEDIT4\n[K]\nname=dword:1\n",
      "REGEDIT4\n[K]\nxa\"=dword:1\n",
  };
  for (const char* text : damaged) {
    std::string error;
    EXPECT_FALSE(RegistryFile::Parse(text, &error).has_value()) << text;
    EXPECT_TRUE(error.starts_with("line ")) << error;
  }
  EXPECT_TRUE(Parsed("").keys().empty());
  EXPECT_TRUE(Parsed(" \n\n").keys().empty());
}

TEST(RegistryFile, DeletingATreeLeavesSiblingsWithTheSamePrefix) {
  RegistryFile file;
  file.CreateKey("HKEY_CURRENT_USER\\Software\\Corvane Inc.\\Netrove\\Ping");
  file.CreateKey("HKEY_CURRENT_USER\\Software\\Corvane Inc.2");
  EXPECT_TRUE(file.KeyExists("HKEY_CURRENT_USER\\Software\\corvane inc."));
  EXPECT_EQ(file.FindKey("HKEY_CURRENT_USER\\Software\\Corvane Inc."), nullptr);

  EXPECT_TRUE(file.DeleteTree("HKEY_CURRENT_USER\\SOFTWARE\\Corvane Inc."));
  EXPECT_FALSE(file.KeyExists("HKEY_CURRENT_USER\\Software\\Corvane Inc."));
  EXPECT_TRUE(file.KeyExists("HKEY_CURRENT_USER\\Software\\Corvane Inc.2"));
  EXPECT_FALSE(file.DeleteTree("HKEY_CURRENT_USER\\Software\\Corvane Inc."));
}

}  // namespace
}  // namespace netrove
