// Opens arbitrary bytes as an archive, lists it and unpacks every entry into a scratch folder.
// Damage must end in a result code; any path that appears outside the base folder aborts.
// The input's first bytes also make a stored name for SafeEntryName, which must agree with the
// rule written as plain repeated passes.

#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "download/ZipArchive.h"

namespace fs = std::filesystem;

namespace {

// The base sits three levels down so that a name climbing out of it still lands in view.
const char kBaseBelowScratch[] = "l1/l2/l3/base";

std::string scratch;

void RemoveScratch() {
  std::error_code error;
  if (!scratch.empty()) fs::remove_all(scratch, error);
}

void MakeScratch() {
  char pattern[] = "/tmp/solane-zipfuzz-XXXXXX";
  if (!mkdtemp(pattern)) std::abort();
  scratch = pattern;
  std::atexit(RemoveScratch);
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Strips the prefixes and resolves the components, over and over until the name stays the same.
// One pass per prefix that resolving brings to the front: quadratic, so fed short names only.
std::string SafeEntryNameByPasses(const std::string& storedName) {
  std::string name = storedName;
  for (;;) {
    size_t start = 0;
    for (;;) {
      if (name.size() >= start + 2 && name[start + 1] == ':')
        start += 2;
      else if (start < name.size() && IsSeparator(name[start]))
        ++start;
      else
        break;
    }
    std::vector<std::string> kept;  // each with the separator that followed it
    size_t pos = start;
    while (pos < name.size()) {
      size_t end = pos;
      while (end < name.size() && !IsSeparator(name[end])) ++end;
      std::string_view component(name.data() + pos, end - pos);
      if (component == "..") {
        if (!kept.empty()) kept.pop_back();
      } else if (!component.empty() && component != ".") {
        kept.emplace_back(name, pos, end < name.size() ? end - pos + 1 : end - pos);
      }
      pos = end + 1;
    }
    std::string safe;
    for (const std::string& part : kept) safe += part;
    if (safe == name) return safe;
    name = std::move(safe);
  }
}

void CheckNothingEscaped(const std::string& base) {
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(scratch, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    std::string path = it->path().string();
    bool allowed = path == scratch + "/input.zip" || path == scratch + "/l1" ||
                   path == scratch + "/l1/l2" || path == scratch + "/l1/l2/l3" || path == base ||
                   path.rfind(base + "/", 0) == 0;
    if (!allowed || it->is_symlink()) {
      std::fprintf(stderr, "unexpected path after extraction: %s\n", path.c_str());
      std::abort();
    }
  }
  if (error) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (scratch.empty()) MakeScratch();
  // Only ":", "." and the separators mean anything to the rule; every other byte acts as "a".
  std::string name(std::min<size_t>(size, 512), 'a');
  for (size_t i = 0; i < name.size(); ++i) name[i] = "a:./\\"[data[i] % 5];
  if (SafeEntryName(name) != SafeEntryNameByPasses(name)) std::abort();
  std::string archivePath = scratch + "/input.zip";
  std::string base = scratch + "/" + kBaseBelowScratch;
  std::error_code error;
  fs::remove_all(scratch + "/l1", error);
  fs::create_directories(base, error);
  // A fresh file each time: rewriting a truncated file makes ext4 flush it on close.
  fs::remove(archivePath, error);

  std::FILE* out = std::fopen(archivePath.c_str(), "wb");
  if (!out) std::abort();
  if (size && std::fwrite(data, 1, size, out) != size) std::abort();
  std::fclose(out);

  if (auto archive = ZipArchive::Open(archivePath)) {
    archive->SetBaseDir(base);
    ZipEntryInfo count;
    if (archive->GetEntry(-1, count) != kZipSuccess) std::abort();
    for (int32_t i = 0; i < count.index; ++i) {
      ZipEntryInfo info;
      if (archive->GetEntry(i, info) == kZipSuccess) archive->ExtractEntry(i, info.name);
    }
    archive->Close();
  }
  CheckNothingEscaped(base);
  return 0;
}
