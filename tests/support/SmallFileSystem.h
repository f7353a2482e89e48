#pragma once
// A small tmpfs mounted over a folder for one test, so that writes into it run out of room for
// real. Mounting needs root (as CI has); elsewhere Mounted() is false and the test says so.

#include <sys/mount.h>

#include <filesystem>
#include <string>

class SmallFileSystem {
 public:
  // Mounts a tmpfs of `bytes` over `folder`, creating the folder first; `flags` as mount(2)
  // takes them (MS_RDONLY: a folder nothing can be written to, even by root).
  SmallFileSystem(const std::string& folder, size_t bytes, unsigned long flags = 0) : folder_(folder) {
    std::error_code ignored;
    std::filesystem::create_directories(folder_, ignored);
    mounted_ = mount("tmpfs", folder_.c_str(), "tmpfs", flags, ("size=" + std::to_string(bytes)).c_str()) == 0;
  }
  ~SmallFileSystem() {
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
  }
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;

  bool Mounted() const { return mounted_; }

 private:
  std::string folder_;
  bool mounted_ = false;
};
