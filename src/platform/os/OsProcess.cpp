#include "platform/os/OsProcess.h"

#include <cstring>

// Where the code page is UTF-8 the text is copied, cut before a continuation byte.
std::size_t TOsProcess::Utf8FromAnsiInto(const char* ansi, std::size_t n, char* out,
                                         std::size_t size) {
  if (size == 0)
    return 0;
  std::size_t len = n < size - 1 ? n : size - 1;
  if (len < n)
    while (len > 0 && (static_cast<unsigned char>(ansi[len]) & 0xC0u) == 0x80u)
      --len;
  std::memcpy(out, ansi, len);
  out[len] = '\0';
  return len;
}
