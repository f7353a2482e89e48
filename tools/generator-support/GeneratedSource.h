#pragma once
// What the build-time generators share: their error line and the way they write their output.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

// Prints "where: error: problem" as compilers do, so the build shows it; always false.
inline bool Fail(const std::string& where, const std::string& problem) {
  std::fprintf(stderr, "%s: error: %s\n", where.c_str(), problem.c_str());
  return false;
}

// Written beside the target and renamed over it, so a failed run never leaves half a file.
inline bool WriteOutput(const std::string& path, const std::string& source) {
  const std::string partial = path + ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out << source;
    if (!out.flush()) return Fail(partial, "cannot write the file");
  }
  std::error_code error;
  std::filesystem::rename(partial, path, error);
  if (error) return Fail(path, "cannot replace the file: " + error.message());
  return true;
}
