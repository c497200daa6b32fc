// A fresh folder under the system's temporary folder, removed with everything in it when released.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mtsrescue::test {

class TempFolder {
 public:
  // Creates the folder; throws std::filesystem::filesystem_error if it cannot.
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder's path, without a trailing separator.
  const std::string& Path() const noexcept { return path_; }
  // The path of name inside the folder.
  std::string File(const std::string& name) const;
  // Writes (replacing) a file in the folder; returns its path.
  std::string WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes) const;
  // The whole of a file given by path; throws std::runtime_error if it cannot be read.
  static std::vector<std::uint8_t> ReadFile(const std::string& path);
  // The names of the folder's entries, sorted.
  std::vector<std::string> Names() const;

 private:
  std::string path_;
};

}  // namespace mtsrescue::test
