#include "platform/Texts.h"

#include "platform/os/OsProcess.h"

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
    if (!t->ResourceId || !OsProcess().ResourceText(t->ResourceId, t->Ansi))
      t->Ansi = OsProcess().AnsiFromUtf8(t->Utf8);
    t->Loaded = true;
  }
}
