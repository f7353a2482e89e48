#pragma once
// A temporary folder for one test, removed with everything in it when the object goes.

#include <cstdint>
#include <optional>
#include <string>

class ScratchDir {
 public:
  ScratchDir();  // creates a fresh folder under the system's temporary folder
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& Path() const { return path_; }
  // The full path of `name` ("/"-separated, relative to the folder).
  std::string PathOf(const std::string& name) const;

  // Writes `bytes` to `name`, creating the folders along it. Returns the full path, or an empty
  // text when it could not be written.
  std::string Write(const std::string& name, const std::string& bytes) const;
  // The whole content of `name`, nothing when it cannot be read.
  std::optional<std::string> Read(const std::string& name) const;
  bool Exists(const std::string& name) const;

 private:
  std::string path_;
};

// `size` bytes of a repeatable pseudo-random pattern (every byte value occurs), for files whose
// corruption must show.
std::string PatternBytes(size_t size, unsigned seed = 1);

// A resource pack: `body` followed by the pack's four-byte little-endian version.
std::string PackBytes(const std::string& body, uint32_t version);

// The launcher's MD5 text of `bytes`.
std::string Md5Of(const std::string& bytes);

// The whole content of the file at `path`, empty when it cannot be read.
std::string FileBytes(const std::string& path);

// `text` with every line feed turned into CR LF, as the server's files are written.
std::string WithCrLf(const std::string& text);
