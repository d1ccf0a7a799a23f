#pragma once

#include "datetime/Moment.h"

#include <cstdint>
#include <string>
#include <vector>

// The in-memory image of one INI file: its sections in file order, each with its lines
// of the form name=value. Reads the whole file when constructed; writes it back only in
// SaveToDisk; releasing it never writes.
class TCustomIniFile {
public:
  explicit TCustomIniFile(std::string fileName) : Name(std::move(fileName)) {}
  virtual ~TCustomIniFile() = default;
  TCustomIniFile(const TCustomIniFile&) = delete;
  TCustomIniFile& operator=(const TCustomIniFile&) = delete;

  // The name given at construction, as given.
  const std::string& FileName() const { return Name; }

  // The value of the first matching line (the text after its first "="), or def.
  virtual std::string ReadText(const std::string& section, const std::string& name,
                               const std::string& def) = 0;
  // Sets the line name=value: replaces the first line of that name in place, or appends
  // it to the first section of that name, or appends a new section holding it.
  virtual void WriteText(const std::string& section, const std::string& name,
                         const std::string& value) = 0;
  // The value read as a 32-bit integer (decimal with an optional sign, or hexadecimal
  // after "$", "x", "X", "0x" or "0X"; leading spaces skipped), or def.
  virtual std::int32_t ReadInt(const std::string& section, const std::string& name,
                               std::int32_t def);
  // Stores the decimal text of value.
  virtual void WriteInt(const std::string& section, const std::string& name, std::int32_t value);
  // True when the value reads as a non-zero integer, false when it reads as zero, def
  // otherwise.
  virtual bool ReadFlag(const std::string& section, const std::string& name, bool def);
  // Stores "1" or "0".
  virtual void WriteFlag(const std::string& section, const std::string& name, bool value);
  // The value read as a date-time (TextToMoment); def when it is empty or does not
  // convert. Failures other than EConvertError pass on.
  virtual TMoment ReadMoment(const std::string& section, const std::string& name, TMoment def);
  // The same with a time of day (TextToTimeOfDay).
  virtual TMoment ReadTimeOfDay(const std::string& section, const std::string& name, TMoment def);
  // Stores MomentToText(value).
  virtual void WriteMoment(const std::string& section, const std::string& name, TMoment value);
  // Stores TimeOfDayToText(value).
  virtual void WriteTimeOfDay(const std::string& section, const std::string& name, TMoment value);
  // The names of the lines of the first section of that name ("" for a line without "=").
  virtual std::vector<std::string> SectionLineNames(const std::string& section) = 0;
  // Removes the first section of that name with all its lines.
  virtual void DropSection(const std::string& section) = 0;
  // Writes the whole store to the file, replacing it. Raises EFCreateError or EWriteError;
  // the store stays as it was in either case.
  virtual void SaveToDisk() = 0;

  // True when the first section of that name holds at least one line.
  bool HasSection(const std::string& section);

private:
  std::string Name;
};

class TMemIniFile : public TCustomIniFile {
public:
  // Keeps the name and loads the file when it is present; raises EFOpenError when it
  // is present but cannot be read, and when it cannot be looked at.
  explicit TMemIniFile(std::string fileName);

  std::string ReadText(const std::string& section, const std::string& name,
                       const std::string& def) override;
  void WriteText(const std::string& section, const std::string& name,
                 const std::string& value) override;
  std::vector<std::string> SectionLineNames(const std::string& section) override;
  void DropSection(const std::string& section) override;
  void SaveToDisk() override;

  // The file's text as SaveToDisk writes it.
  std::string FileText() const;

private:
  struct TSection {
    std::string Name;
    std::vector<std::string> Lines;
  };

  // Builds the sections from the text of a file.
  void Parse(const std::string& text);
  TSection* FindSection(const std::string& section);
  // The first line of the section that holds "=" and whose name is name, or null.
  std::string* FindLine(TSection& s, const std::string& name);

  std::vector<TSection> Sections;
};

// Names of sections and lines are equal when they are the same text without regard to
// letter case, under the user's locale; nothing is trimmed.
bool SameIniName(const std::string& a, const std::string& b);
// Reads a whole text as a 32-bit integer by the rules of ReadInt; false when it breaks them.
bool IniTextToInt(const std::string& text, std::int32_t& value);
