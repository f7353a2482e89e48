#pragma once
// A small tmpfs mounted over a folder for one test, so that writes into it run out of room for
// real. Mounting needs root (as CI has); elsewhere Mounted() is false and the test says so.

#include <string>

class SmallFileSystem {
 public:
  // Mounts a tmpfs of `bytes` over `folder`, creating the folder first.
  SmallFileSystem(const std::string& folder, size_t bytes);
  ~SmallFileSystem();  // unmounts
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;

  bool Mounted() const { return mounted_; }

 private:
  std::string folder_;
  bool mounted_ = false;
};
