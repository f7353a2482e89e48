#pragma once
// The DirectX version that the game client will find, from the system's diagnostic component and,
// failing that, the versions of the DirectX files in the system folder (platform/DirectXVersion.h
// says where each is on this system). A client that is a native program needs no DirectX.

#include <cstddef>
#include <cstdint>
#include <string>

class PatchEngine;

// The game needs 9.0c.
inline constexpr uint32_t kRequiredDirectX = 0x00090003;
inline constexpr const char* kRequiredDirectXText = "9.0 C";

enum class DirectXStatus { kOk, kInvalidArgument, kNotFound };

// Major in bits 16 and up, minor in bits 8 to 15, the letter's place in the alphabet (a = 1) in
// bits 0 to 7, 0 for a blank; the letter is lowered first.
uint32_t PackDirectXVersion(uint32_t major, uint32_t minor, char letter);
// "9.0c", "8.1": at most 9 characters.
std::string DirectXVersionText(uint32_t major, uint32_t minor, char letter);

// The version that the diagnostic component reports; kNotFound when it reports none.
DirectXStatus GetDirectXVersionViaDxDiag(uint32_t& major, uint32_t& minor, char& letter);
// The newest DirectX that the files of the system folder show (the last passing row
// of the table); 0.0 when nothing passes or there is no such folder. Always kOk.
DirectXStatus GetDirectXVersionViaFileVersions(uint32_t& major, uint32_t& minor, char& letter);
// The file version of `path` as one 64-bit number (most significant word first).
DirectXStatus GetFileVersion(const std::string& path, uint64_t& version);
// The registry first, the files when that fails; fills whichever output is given (the text cut
// to `textSize` - 1 characters).
DirectXStatus GetDirectXVersion(uint32_t* packed, char* text, size_t textSize);

struct DirectXVerdict {
  bool ok = false;
  std::string warning;  // message 163 when the version is older than 9.0c
};
// The verdict for the client at `clientPath`, the warning in `languageId`.
DirectXVerdict CheckDirectXFor(const std::string& clientPath, uint16_t languageId);

// The start-up step: the engine's DirectX result for the installation's SolaneClient.exe.
void CheckDirectX(PatchEngine& engine);
