#include "platform/Texts.h"

#include "platform/OsProcess.h"

TText* TText::First = nullptr;

TText::TText(const char* utf8) : Utf8(utf8), Next(First) {
  First = this;
}

void TText::LoadAll() {
  for (TText* t = First; t; t = t->Next) {
    t->Ansi = OsProcess().AnsiFromUtf8(t->Utf8);
    t->Loaded = true;
  }
}
