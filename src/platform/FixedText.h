#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Texts made without taking memory: the failure report and the fault messages are written
// into buffers of fixed size, because they are also written when memory is exhausted.

// Writes into a buffer of fixed size; what does not fit is cut, the end is always there.
class TFixedText {
public:
  TFixedText(char* out, std::size_t size) : Out(out), Size(size) { Out[0] = '\0'; }
  void Put(char c);
  void Put(const char* s, std::size_t n);
  void Put(const char* s);
  // Upper-case hexadecimal digits, at least minDigits of them.
  void PutHex(std::uintmax_t v, int minDigits);
  // Decimal digits, right-aligned in width places.
  void PutDecimal(unsigned v, int width);
  std::size_t Length() const { return Len; }

private:
  char* Out;
  std::size_t Size;
  std::size_t Len = 0;
};

// One value for a template: a text or a number.
struct TArg {
  const char* Text = nullptr;
  std::size_t TextLen = 0;
  std::uintmax_t Value = 0;
};
TArg TextArg(const char* s);
TArg TextArg(const std::string& s);
TArg NumberArg(std::uintmax_t v);
TArg AddressArg(const void* p);

// Fills a template. "%s", "%p" and "%x" take the next value, "%N:s", "%N:p" and "%N:x"
// the value N (counted from 0); "%%" is a percent sign. s writes a text, p a number in at
// least eight upper-case hexadecimal digits, x a number in upper-case hexadecimal. The
// values are written as they are and never read as a template themselves.
void FillTemplate(TFixedText& out, const std::string& pattern, const TArg* args, std::size_t count);

// The file name without its folder: the part after the last separator that is not the
// second byte of a double-byte character.
const char* FileNamePart(const char* path);
