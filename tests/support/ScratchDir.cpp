#include "tests/support/ScratchDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "patch/Md5.h"
#include "tests/support/TemporaryFolder.h"

namespace fs = std::filesystem;

ScratchDir::ScratchDir() : path_(MakeTemporaryFolder()) {}

ScratchDir::~ScratchDir() {
  if (path_.empty()) return;
  std::error_code error;
  fs::remove_all(path_, error);
}

// Joined with "/", the separator the launcher uses on every system (fs::path would put "\" on Windows).
std::string ScratchDir::PathOf(const std::string& name) const { return path_ + "/" + name; }

std::string ScratchDir::Write(const std::string& name, const std::string& bytes) const {
  const fs::path full = PathOf(name);
  std::error_code error;
  fs::create_directories(full.parent_path(), error);
  std::ofstream out(full, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return out ? PathOf(name) : std::string();
}

std::optional<std::string> ScratchDir::Read(const std::string& name) const {
  std::ifstream in(fs::path(path_) / name, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool ScratchDir::Exists(const std::string& name) const {
  std::error_code error;
  return fs::exists(fs::path(path_) / name, error);
}

std::string PatternBytes(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  uint32_t state = seed * 2654435761u + 12345u;
  for (size_t i = 0; i < size; ++i) {
    state = state * 1664525u + 1013904223u;
    bytes[i] = static_cast<char>(state >> 24);
  }
  return bytes;
}

std::string PackBytes(const std::string& body, uint32_t version) {
  std::string bytes = body;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>(version >> (8 * i));
  return bytes;
}

std::string Md5Of(const std::string& bytes) {
  Md5Context context;
  context.Update(bytes.data(), bytes.size());
  return context.Final();
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}
