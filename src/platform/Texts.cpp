#include "platform/Texts.h"

#include "platform/os/OsProcess.h"

#include <cstring>

TText* TText::First = nullptr;

#define AQ_TEXT(name, utf8) const TText txt##name{utf8};
#define AQ_STRING(name, id, utf8) const TText txt##name{utf8, id};
#include "platform/Texts.def"
#undef AQ_STRING
#undef AQ_TEXT

TText::TText(const char* utf8, unsigned resourceId)
    : Utf8(utf8), ResourceId(resourceId), Next(First) {
  First = this;
}

void TText::LoadAll() {
  for (TText* t = First; t; t = t->Next) {
    if (!t->ResourceId || !OsProcess().ResourceText(t->ResourceId, t->ShownForm))
      t->ShownForm = t->Utf8;
    t->Ansi = OsProcess().AnsiFromUtf8(t->ShownForm);
    t->Loaded = true;
  }
}

TBoxText TBoxText::FromSystem(const std::string& ansi) {
  TBoxText text;
  text.Utf8 = OsProcess().Utf8FromAnsi(ansi);
  return text;
}

std::string WithFirstValue(const std::string& pattern, const std::string& value) {
  std::string text = pattern;
  const std::size_t at = text.find("%s");
  if (at != std::string::npos)
    text.replace(at, 2, value);
  return text;
}

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
