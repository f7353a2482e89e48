#pragma once
// Gives a Linux program that was built without a version note (patch/VersionNoteDefine.h) one,
// so that installations can read its version: the note is appended as a section
// ".note.solane.version" that is not loaded into memory, which is all FileVersion reads.

#include <cstdint>
#include <string>

// True when the file begins as an ELF file does.
bool IsElfFile(const std::string& path);

// Adds the note holding the two version words to the ELF file at `path`, which must have none
// yet. The file is rewritten beside itself and renamed into place, keeping its permissions.
// Returns an error text, empty on success.
std::string AddElfVersionNote(const std::string& path, uint32_t high, uint32_t low);
