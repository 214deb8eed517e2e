// netrove-cli settings: inspect and script the settings store.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "base/registry_file.h"
#include "base/settings_store.h"
#include "cli/cli_command.h"

namespace netrove::cli {
namespace {

int UsageError(std::string_view problem, CliStreams& io) {
  io.err << "netrove-cli settings: " << problem << "\n";
  return kUsageError;
}

// A name the store could never hold is the caller's mistake, not the file's.
bool NamesAreValid(const std::string& tool, const std::string& name, CliStreams& io) {
  if (!IsValidToolName(tool)) {
    io.err << "netrove-cli settings: '" << tool << "' is not a valid tool name\n";
    return false;
  }
  if (!IsValidValueName(name)) {
    io.err << "netrove-cli settings: '" << name << "' is not a valid value name\n";
    return false;
  }
  return true;
}

// A number as typed: decimal (negative numbers are stored as their 32-bit
// two's complement, as signed coordinates are) or hexadecimal after "0x".
std::optional<std::uint32_t> ParseNumber(std::string_view text) {
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(2);
    base = 16;
  }
  long long number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (number < INT32_MIN || number > UINT32_MAX) return std::nullopt;
  return static_cast<std::uint32_t>(number);
}

void PrintValue(const CToolKey& key, std::string_view name, std::ostream& out) {
  const auto bytes = *key.ReadRaw(name);
  const auto type = *key.ValueType(name);
  if (type == RegType::Dword && bytes.size() == 4) {
    std::uint32_t number = 0;
    key.ReadDword(name, number);
    out << number << "\n";
    return;
  }
  const auto firstZero = std::find(bytes.begin(), bytes.end(), 0);
  if (type == RegType::Sz && firstZero + 1 == bytes.end()) {
    out << std::string(bytes.begin(), firstZero) << "\n";
    return;
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  out << "hex(" << std::hex << static_cast<std::uint32_t>(type) << std::dec << "):";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out << (i == 0 ? "" : ",") << kDigits[bytes[i] >> 4] << kDigits[bytes[i] & 0xF];
  }
  out << "\n";
}

int Get(const std::string& tool, const std::string& name, CliStreams& io) {
  if (!NamesAreValid(tool, name, io)) return kUsageError;
  const auto key = OpenToolKey(tool, false);
  if (!key || !key->ReadRaw(name)) {
    io.err << "netrove-cli: no value '" << name << "' is set for '" << tool << "'\n";
    return 1;
  }
  PrintValue(*key, name, io.out);
  return 0;
}

int Set(const std::string& tool, const std::string& name, std::string_view data, CliStreams& io) {
  std::optional<std::uint32_t> number;
  if (data.starts_with("dword:")) {
    number = ParseNumber(data.substr(6));
    if (!number) return UsageError("dword: takes a 32-bit number", io);
  } else if (!data.starts_with("text:")) {
    return UsageError("the data is dword:N or text:STRING", io);
  }
  if (!NamesAreValid(tool, name, io)) return kUsageError;
  auto key = CreateToolKey(tool);
  const bool written =
      key && (number ? key->WriteDword(name, *number) : key->WriteText(name, data.substr(5)));
  if (!written) {
    io.err << "netrove-cli: the settings could not be written to " << SettingsFile().string()
           << "\n";
    return 1;
  }
  return 0;
}

int Export(CliStreams& io) {
  const std::string text = ExportSettings();
  if (text.empty()) {
    io.err << "netrove-cli: the settings could not be read from " << SettingsFile().string()
           << "\n";
    return 1;
  }
  io.out << text;
  return 0;
}

int DeleteAll(CliStreams& io) {
  if (!DeleteProgramKeys()) {
    io.err << "netrove-cli: the settings could not be deleted from " << SettingsFile().string()
           << "\n";
    return 1;
  }
  return 0;
}

int RunSettings(const CommandLine& line, CliStreams& io) {
  const auto& args = line.operands();
  if (args.size() == 1 && args[0] == "export") return Export(io);
  if (args.size() == 1 && args[0] == "delete-all") return DeleteAll(io);
  if (args.size() == 3 && args[0] == "get") return Get(args[1], args[2], io);
  if (args.size() == 4 && args[0] == "set") return Set(args[1], args[2], args[3], io);
  return UsageError("say export, get TOOL VALUE, set TOOL VALUE DATA or delete-all", io);
}

const CommandRegistrar registrar(
    {"settings",
     "export | get TOOL VALUE | set TOOL VALUE dword:N|text:STRING | delete-all",
     "Show, read, write or delete the stored settings.",
     {},
     RunSettings,
     1,
     4,
     "  export        prints the store as a REGEDIT4 file\n"
     "  get           prints one value: a number, a text, or hex(TYPE):BYTES\n"
     "  set           writes one value; a dword is decimal (negative numbers as\n"
     "                their two's complement) or hexadecimal after 0x\n"
     "  delete-all    deletes every stored setting of the program\n"});

}  // namespace
}  // namespace netrove::cli
