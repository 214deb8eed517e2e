// The settings store at the size of a store that has grown for years: one
// read (open a tool key, read a value) and one write (a changed value) in a
// file of 40,000 keys, beside the same in a file of 10 keys. The first read
// after the file changed parses it ("parse"); every later read while it is
// unchanged is a look-up ("get").
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/registry_file.h"
#include "base/settings_store.h"

namespace netrove {
namespace {

std::string StoreText(int keys) {
  std::string text = "REGEDIT4\n";
  for (int i = 0; i < keys; ++i) {
    text += "\n[HKEY_CURRENT_USER\\Software\\Corvane Inc.\\Netrove\\Tool" + std::to_string(i) +
            "]\n\"Value\"=dword:0000002a\n\"Host\"=\"host" + std::to_string(i) + ".example\"\n";
  }
  return text;
}

// A fresh NETROVE_HOME holding a store of `keys` keys.
class StoreFolder {
 public:
  explicit StoreFolder(int keys) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "netrove-bench-XXXXXX").string();
    folder_ = mkdtemp(pattern.data());
    setenv("NETROVE_HOME", folder_.c_str(), 1);
    std::ofstream(SettingsFile()) << StoreText(keys);
  }
  ~StoreFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

 private:
  std::filesystem::path folder_;
};

void BM_SettingsParse(benchmark::State& state) {
  const std::string text = StoreText(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(RegistryFile::Parse(text));
}

void BM_SettingsGet(benchmark::State& state) {
  StoreFolder store(static_cast<int>(state.range(0)));
  std::uint32_t value = 0;
  for (auto _ : state) {
    OpenToolKey("Tool7", false)->ReadDword("Value", value);
    benchmark::DoNotOptimize(value);
  }
}

void BM_SettingsSet(benchmark::State& state) {
  StoreFolder store(static_cast<int>(state.range(0)));
  std::uint32_t value = 0;
  for (auto _ : state) CreateToolKey("Tool7")->WriteDword("Value", ++value);
}

BENCHMARK(BM_SettingsParse)->Arg(10)->Arg(40000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SettingsGet)->Arg(10)->Arg(40000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SettingsSet)->Arg(10)->Arg(40000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace netrove

BENCHMARK_MAIN();
