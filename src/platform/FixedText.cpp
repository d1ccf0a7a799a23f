#include "platform/FixedText.h"

#include "platform/ProcessFrame.h"

#include <cstring>

void TFixedText::Put(char c) {
  if (Len + 1 < Size) {
    Out[Len++] = c;
    Out[Len] = '\0';
  }
}

void TFixedText::Put(const char* s, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    Put(s[i]);
}

void TFixedText::Put(const char* s) {
  Put(s, std::strlen(s));
}

void TFixedText::PutHex(std::uintmax_t v, int minDigits) {
  char digits[2 * sizeof v];
  int n = 0;
  do {
    digits[n++] = "0123456789ABCDEF"[v & 0xF];
    v >>= 4;
  } while (v);
  for (int i = n; i < minDigits; ++i)
    Put('0');
  while (n)
    Put(digits[--n]);
}

void TFixedText::PutDecimal(unsigned v, int width) {
  char digits[16];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v);
  for (int i = n; i < width; ++i)
    Put(' ');
  while (n)
    Put(digits[--n]);
}

TArg TextArg(const char* s) {
  return TArg{s, std::strlen(s), 0};
}
TArg TextArg(const std::string& s) {
  return TArg{s.data(), s.size(), 0};
}
TArg NumberArg(std::uintmax_t v) {
  return TArg{nullptr, 0, v};
}
TArg AddressArg(const void* p) {
  return NumberArg(reinterpret_cast<std::uintptr_t>(p));
}

void FillTemplate(TFixedText& out, const std::string& pattern, const TArg* args,
                  std::size_t count) {
  std::size_t next = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c != '%' || i + 1 >= pattern.size()) {
      out.Put(c);
      continue;
    }
    std::size_t j = i + 1;
    if (pattern[j] == '%') {
      out.Put('%');
      i = j;
      continue;
    }
    std::size_t index = next;
    std::size_t k = j;
    std::size_t n = 0;
    while (k < pattern.size() && pattern[k] >= '0' && pattern[k] <= '9')
      n = n * 10 + static_cast<std::size_t>(pattern[k++] - '0');
    if (k > j && k < pattern.size() && pattern[k] == ':') {
      index = n;
      j = k + 1;
    }
    if (j >= pattern.size() || (pattern[j] != 's' && pattern[j] != 'p' && pattern[j] != 'x')) {
      out.Put(c); // not a placeholder: the percent sign stands for itself
      continue;
    }
    if (index < count) {
      const TArg& a = args[index];
      if (pattern[j] == 's')
        out.Put(a.Text ? a.Text : "", a.Text ? a.TextLen : 0);
      else
        out.PutHex(a.Value, pattern[j] == 'p' ? 8 : 1);
    }
    next = index + 1;
    i = j;
  }
}

const char* FileNamePart(const char* path) {
  const char* name = path;
  for (const char* p = path; *p;) {
    if (IsLeadByte(*p) && p[1]) {
      p += 2;
      continue;
    }
    if (*p == PathDelim)
      name = p + 1;
    ++p;
  }
  return name;
}
