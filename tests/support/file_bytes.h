#pragma once
// A file's whole contents as bytes, for tests that check what landed on disk.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace netrove::test {

// Empty when the file cannot be read.
inline std::string ReadFileBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Creates the folders on the way.
inline void WriteFileBytes(const std::filesystem::path& file, std::string_view bytes) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

}  // namespace netrove::test
