#pragma once
// Zip archives written by Python's zipfile, a writer independent of the launcher's reader.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/RunProgram.h"

struct PythonZipEntry {
  std::string name;
  std::string bytes;
  bool deflated = false;
};

// Writes `entries` into a new archive at `archivePath`, creating its folder. Returns the
// writer's output on failure, an empty text on success.
inline std::string WritePythonZip(const std::string& archivePath, const std::vector<PythonZipEntry>& entries) {
  // Entry bytes travel through files beside the archive: an argument cannot carry a NUL byte.
  std::filesystem::create_directories(std::filesystem::path(archivePath).parent_path());
  std::vector<std::string> argv = {"/usr/bin/python3", "-c",
                                   "import os, sys, zipfile\n"
                                   "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                                   "    for i in range(2, len(sys.argv), 3):\n"
                                   "        method = zipfile.ZIP_DEFLATED if sys.argv[i + 2] == '1' else zipfile.ZIP_STORED\n"
                                   "        z.write(sys.argv[i], sys.argv[i + 1], method)\n"
                                   "        os.remove(sys.argv[i])\n",
                                   archivePath};
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string source = archivePath + ".entry" + std::to_string(i);
    std::ofstream(source, std::ios::binary) << entries[i].bytes;
    argv.insert(argv.end(), {source, entries[i].name, entries[i].deflated ? "1" : "0"});
  }
  const ProgramResult made = RunProgram(argv);
  return made.exitCode == 0 ? std::string() : "zipfile failed: " + made.output;
}
