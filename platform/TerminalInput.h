#pragma once
// Reading the player's answers from a terminal (or whatever standard input is) without blocking
// longer than the caller allows, so that a wait can also watch for Ctrl-C or a closing program.

#include <cstdint>
#include <string>

namespace platform {

// True when `fd` is a terminal.
bool IsTerminal(int fd);

class LineReader {
 public:
  enum class Result { Line, Waiting, Ended };

  explicit LineReader(int fd) : fd_(fd) {}

  // Waits up to `timeoutMs` for a whole line; the line comes without its "\n" (and without a
  // "\r" before it). Ended at the end of input or on a read error; a last line without "\n" is
  // given as a Line first. Bytes are read one at a time, so nothing after the line is taken
  // from the descriptor: another reader of the same input loses nothing.
  Result ReadLine(std::string& line, uint32_t timeoutMs);

 private:
  enum class ByteRead { Got, Waiting, Ended };
  // Reads one byte of fd_ into `c`, waiting up to `timeoutMs` for it. Ended at the end of input
  // or on a read error.
  ByteRead ReadByte(char& c, uint32_t timeoutMs);

  int fd_;
  std::string partial_;
  bool ended_ = false;
};

}  // namespace platform
