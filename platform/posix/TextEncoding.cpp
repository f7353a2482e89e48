#include "platform/TextEncoding.h"

#include <errno.h>
#include <iconv.h>

#include <vector>

namespace platform {

std::optional<std::string> ConvertToUtf8(std::string_view text, const char* encodingName) {
  iconv_t converter = iconv_open("UTF-8", encodingName);
  if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;

  static constexpr char kReplacement[] = "\xef\xbf\xbd";
  std::string result;
  result.reserve(text.size() * 3 / 2 + 16);
  std::vector<char> chunk(4096);
  char* in = const_cast<char*>(text.data());  // iconv's interface is not const-correct
  size_t inLeft = text.size();
  while (inLeft > 0) {
    char* out = chunk.data();
    size_t outLeft = chunk.size();
    size_t status = iconv(converter, &in, &inLeft, &out, &outLeft);
    result.append(chunk.data(), chunk.size() - outLeft);
    if (status != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ (an undefined sequence) or EINVAL (a sequence cut off by the end): one byte is
    // replaced and the conversion resumes from a clean state.
    result += kReplacement;
    ++in;
    --inLeft;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
  }
  // Flush any shift state (none for the code pages used here, but cheap).
  char* out = chunk.data();
  size_t outLeft = chunk.size();
  iconv(converter, nullptr, nullptr, &out, &outLeft);
  result.append(chunk.data(), chunk.size() - outLeft);
  iconv_close(converter);
  return result;
}

}  // namespace platform
