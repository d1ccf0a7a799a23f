#include "platform/Texts.h"

#include "platform/FixedText.h"
#include "platform/os/OsProcess.h"
#include "platform/os/OsUi.h"

#include <deque>

namespace {

// The rows of the table, numbered in its order.
enum TTextRow : unsigned {
#define AQ_TEXT(name, utf8) Row##name,
#define AQ_STRING(name, id, utf8) Row##name,
#include "platform/Texts.def"
#undef AQ_STRING
#undef AQ_TEXT
  RowCount
};

// The forms of the table's texts: their sources made when the program starts (TableSources),
// the rest when the texts are loaded.
TTextForms TableForms[RowCount];

} // namespace

#define AQ_TEXT(name, utf8) constinit const TText txt##name{utf8, 0, TableForms[Row##name]};
#define AQ_STRING(name, id, utf8) constinit const TText txt##name{utf8, id, TableForms[Row##name]};
#include "platform/Texts.def"
#undef AQ_STRING
#undef AQ_TEXT

namespace {

constinit const TText* const TableTexts[] = {
#define AQ_TEXT(name, utf8) &txt##name,
#define AQ_STRING(name, id, utf8) &txt##name,
#include "platform/Texts.def"
#undef AQ_STRING
#undef AQ_TEXT
};

} // namespace

// The sources of the table's texts, made in one pass when the program starts.
struct TTableSources {
  TTableSources() {
    for (const TText* t : TableTexts)
      t->Forms->Source = t->Utf8;
  }
};

namespace {

const TTableSources TableSources;

// The texts outside the table and their forms.
const TText* FirstOther = nullptr;
std::deque<TTextForms>& OtherForms() {
  static std::deque<TTextForms> forms;
  return forms;
}

} // namespace

TText::TText(const char* utf8)
    : Utf8(utf8), ResourceId(0), Forms(&OtherForms().emplace_back()), Next(FirstOther) {
  Forms->Source = utf8;
  FirstOther = this;
}

void TText::Load() const {
  TTextForms& f = *Forms;
  if (!ResourceId || !OsProcess().ResourceText(ResourceId, f.Shown))
    f.Shown = Source();
  f.Ansi = OsProcess().AnsiFromUtf8(f.Shown);
  f.Loaded = true;
}

void TText::LoadAll() {
  for (const TText* t : TableTexts)
    t->Load();
  for (const TText* t = FirstOther; t; t = t->Next)
    t->Load();
}

TSystemText TSystemText::FromCodePage(const std::string& ansi) {
  return TSystemText(OsProcess().Utf8FromAnsi(ansi));
}

TBoxText TBoxText::LineBreak() {
  TBoxText text;
  text.Utf8 = "\r\n";
  return text;
}

void TBoxText::Fill(const TText& pattern, const TArg* values, std::size_t count) {
  // Within the room made, resizing takes no memory.
  Utf8.resize(Utf8.capacity());
  TFixedText out(Utf8.data(), Utf8.size() + 1);
  FillTemplate(out, pattern.Shown(), values, count);
  Utf8.resize(out.Length());
}

int ShowBox(const TBoxText& text, const TBoxText& caption, unsigned flags) {
  return OsUi().ShowBox(text.Utf8Form(), caption.Utf8Form(), flags, BoxWords());
}

TBoxWords BoxWords() {
  return {txtButtonYes.Shown().c_str(),         txtButtonNo.Shown().c_str(),
          txtButtonCancel.Shown().c_str(),      txtKindError.Shown().c_str(),
          txtKindQuestion.Shown().c_str(),      txtKindWarning.Shown().c_str(),
          txtKindInformation.Shown().c_str(),   txtPromptYesNoCancel.Shown().c_str(),
          txtPromptYesNo.Shown().c_str(),       txtPromptOk.Shown().c_str(),
          txtAnswerYesNoCancel.Shown().c_str(), txtAnswerYesNo.Shown().c_str()};
}

std::size_t Utf16Units(const char* utf8, std::size_t n) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if ((c & 0xC0u) != 0x80u)
      units += c >= 0xF0u ? 2 : 1;
  }
  return units;
}

void TBoxText::CutToUnits(std::size_t units) {
  std::size_t i = 0;
  while (i < Utf8.size()) {
    const auto c = static_cast<unsigned char>(Utf8[i]);
    const std::size_t need = c >= 0xF0u ? 2 : 1;
    if (need > units)
      break;
    units -= need;
    ++i;
    while (i < Utf8.size() && (static_cast<unsigned char>(Utf8[i]) & 0xC0u) == 0x80u)
      ++i;
  }
  Utf8.resize(i);
}

std::string WithFirstValue(const std::string& pattern, const std::string& value) {
  std::string text = pattern;
  const std::size_t at = text.find("%s");
  if (at != std::string::npos)
    text.replace(at, 2, value);
  return text;
}
