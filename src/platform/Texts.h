#pragma once

#include <cstddef>
#include <string>

// A fixed text of the program. Texts are written once, in UTF-8, in the table Texts.def;
// LoadAll turns every one of them into the system's ANSI code page when the program
// starts (code page 932 on a Japanese Windows system; UTF-8 on POSIX). A text with a
// number in the program's string table is taken from there where the program has one.
class TText {
public:
  explicit TText(const char* utf8, unsigned resourceId = 0);
  TText(const TText&) = delete;
  TText& operator=(const TText&) = delete;

  // The text in the ANSI code page (its UTF-8 form until LoadAll has run).
  const std::string& operator()() const { return Loaded ? Ansi : Utf8; }
  const std::string& Source() const { return Utf8; }
  // The text as the user sees it, in UTF-8: from the string table where it has the text,
  // else the source. Unlike the ANSI form it never loses a character.
  const std::string& Shown() const { return Loaded ? ShownForm : Utf8; }

  // Converts every text through the platform in use.
  static void LoadAll();

private:
  std::string Utf8;
  std::string Ansi;
  std::string ShownForm;
  unsigned ResourceId;
  bool Loaded = false;
  TText* Next = nullptr;
  static TText* First;
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

// A text for a message box, in UTF-8 (message boxes are drawn in Unicode). It is put
// together from fixed texts, only ever in their source form (a row of the table, or a
// literal of the program's source such as a line break), and from texts of the system (file
// names, formatted date-times, numbers), which are in the ANSI code page and come in only
// through FromSystem, which converts them. A string in the code page cannot become a box
// text in any other way, so a fixed text that has been through the code page (and lost its
// characters where the code page lacks them) cannot reach a box.
class TBoxText {
public:
  TBoxText(const TText& fixed) : Utf8(fixed.Shown()) {}
  template <std::size_t N> TBoxText(const char (&literal)[N]) : Utf8(literal) {}
  // A text of the system, converted from the ANSI code page.
  static TBoxText FromSystem(const std::string& ansi);

  const std::string& Utf8Form() const { return Utf8; }
  TBoxText& operator+=(const TBoxText& more) {
    Utf8 += more.Utf8;
    return *this;
  }

private:
  friend class TReportBox;
  TBoxText() = default;
  std::string Utf8;
};

inline TBoxText operator+(TBoxText a, const TBoxText& b) {
  a += b;
  return a;
}

// The pattern with its first "%s" replaced by the value (the pattern as it is when it
// holds none).
std::string WithFirstValue(const std::string& pattern, const std::string& value);
