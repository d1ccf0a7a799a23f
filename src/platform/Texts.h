#pragma once

#include <cstddef>
#include <string>
#include <utility>

// The forms of one text: its source, made when the program starts (so that a runtime-error
// stop can show it before the texts are loaded, without memory), and the forms made when it
// is loaded.
struct TTextForms {
  std::string Source;
  std::string Ansi;
  std::string Shown;
  bool Loaded = false;
};

// A fixed text of the program. Texts are written once, in UTF-8, in the table Texts.def;
// LoadAll turns every one of them into the system's ANSI code page when the program
// starts (code page 932 on a Japanese Windows system; UTF-8 on POSIX). A text with a
// number in the program's string table is taken from there where the program has one.
class TText {
public:
  // A row of the table: constant data, whose source the start makes with all the others in one
  // pass (one object made and registered for destruction per row cost the start more).
  constexpr TText(const char* utf8, unsigned resourceId, TTextForms& forms)
      : Utf8(utf8), ResourceId(resourceId), Forms(&forms) {}
  // A text outside the table (the tests' own), loaded with the table's.
  explicit TText(const char* utf8);
  TText(const TText&) = delete;
  TText& operator=(const TText&) = delete;

  // The text in the ANSI code page (its UTF-8 form until LoadAll has run).
  const std::string& operator()() const { return Forms->Loaded ? Forms->Ansi : Source(); }
  const std::string& Source() const { return Forms->Source; }
  // The text as the user sees it, in UTF-8: from the string table where it has the text,
  // else the source. Unlike the ANSI form it never loses a character.
  const std::string& Shown() const { return Forms->Loaded ? Forms->Shown : Source(); }

  // Converts every text through the platform in use.
  static void LoadAll();

private:
  void Load() const;

  friend struct TTableSources;
  const char* Utf8;
  unsigned ResourceId;
  TTextForms* Forms;
  const TText* Next = nullptr; // the next text outside the table
};

// The program's texts, one object for each row of the table: txtOpenQuestion and so on;
// the texts that the string table holds too have their number in txt<name>Id.
#define AQ_TEXT(name, utf8) extern const TText txt##name;
#define AQ_STRING(name, id, utf8)                                                                  \
  extern const TText txt##name;                                                                    \
  inline constexpr unsigned txt##name##Id = id;
#include "platform/Texts.def"
#undef AQ_STRING
#undef AQ_TEXT

// A text the system gave: a file name, a formatted date-time, a number or a code. The program
// keeps such texts in the system's ANSI code page; a box shows them in UTF-8. Only the
// conversion from the code page makes one, so no other string becomes one on the way.
class TSystemText {
public:
  // The text in the system's ANSI code page, converted by the platform in use.
  static TSystemText FromCodePage(const std::string& ansi);

  const std::string& Utf8Form() const { return Utf8; }

private:
  explicit TSystemText(std::string utf8) : Utf8(std::move(utf8)) {}
  std::string Utf8;
};

struct TArg;

// A text for a message box, in UTF-8 (message boxes are drawn in Unicode). A box takes a row of
// the table (in its shown form, never the ANSI form that may have lost characters), a text the
// system gave, or a joining of those; a line break is the one piece of its own. Nothing else
// becomes a box text: not a literal of the source, not a string in the code page.
class TBoxText {
public:
  TBoxText(const TText& fixed) : Utf8(fixed.Shown()) {}
  TBoxText(const TSystemText& system) : Utf8(system.Utf8Form()) {}
  // A line break of a box.
  static TBoxText LineBreak();

  const std::string& Utf8Form() const { return Utf8; }
  TBoxText& operator+=(const TBoxText& more) {
    Utf8 += more.Utf8;
    return *this;
  }

  // For boxes that must take no memory when shown (the failure report): room made once, then
  // the row with its placeholders filled as FillTemplate does (FixedText.h), cut where it does
  // not fit that room, and cut again to its first characters that make up at most units UTF-16
  // units.
  void Reserve(std::size_t bytes) { Utf8.reserve(bytes); }
  void Fill(const TText& pattern, const TArg* values, std::size_t count);
  void CutToUnits(std::size_t units);

private:
  TBoxText() = default;
  std::string Utf8;
};

inline TBoxText operator+(TBoxText a, const TBoxText& b) {
  a += b;
  return a;
}

struct TBoxWords;
// Shows a box of these texts through the platform (OsUi), the program's own dialogs speaking
// the words of the table; the one way the program shows a box. Takes no memory.
int ShowBox(const TBoxText& text, const TBoxText& caption, unsigned flags);
// The words of the boxes the program draws itself, from the table.
TBoxWords BoxWords();

// UTF-16 units of a UTF-8 text (two for a character beyond the first 65,536).
std::size_t Utf16Units(const char* utf8, std::size_t n);

// The pattern with its first "%s" replaced by the value (the pattern as it is when it
// holds none).
std::string WithFirstValue(const std::string& pattern, const std::string& value);
