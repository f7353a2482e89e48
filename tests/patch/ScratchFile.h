#pragma once
// A file in the system's temporary folder, named after the running test and the process so that
// tests run in parallel never share one; removed when the object goes.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

class ScratchFile {
 public:
  explicit ScratchFile(const std::string& contents) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "solane-" + std::string(test ? test->name() : "test") + "-" +
                       std::to_string(getpid()) + "-" + std::to_string(counter_++);
    path_ = (std::filesystem::temp_directory_path() / name).string();
    std::ofstream(path_, std::ios::binary) << contents;
  }
  ~ScratchFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  static inline int counter_ = 0;
};
