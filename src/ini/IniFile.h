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

  const std::string& FileName() const { return Name; }

  virtual std::string ReadText(const std::string& section, const std::string& name,
                               const std::string& def) = 0;
  virtual void WriteText(const std::string& section, const std::string& name,
                         const std::string& value) = 0;
  virtual std::int32_t ReadInt(const std::string& section, const std::string& name,
                               std::int32_t def);
  virtual void WriteInt(const std::string& section, const std::string& name, std::int32_t value);
  virtual bool ReadFlag(const std::string& section, const std::string& name, bool def);
  virtual void WriteFlag(const std::string& section, const std::string& name, bool value);
  virtual TMoment ReadMoment(const std::string& section, const std::string& name, TMoment def);
  virtual TMoment ReadTimeOfDay(const std::string& section, const std::string& name,
                                TMoment def);
  virtual void WriteMoment(const std::string& section, const std::string& name, TMoment value);
  virtual void WriteTimeOfDay(const std::string& section, const std::string& name,
                              TMoment value);
  // The names of the lines of the first section of that name ("" for a line without "=").
  virtual std::vector<std::string> SectionLineNames(const std::string& section) = 0;
  virtual void DropSection(const std::string& section) = 0;
  virtual void SaveToDisk() = 0;

  // True when the first section of that name holds at least one line.
  bool HasSection(const std::string& section);

private:
  std::string Name;
};

class TMemIniFile : public TCustomIniFile {
public:
  // Keeps the name and loads the file when it is present; raises EFOpenError when it
  // is present but cannot be opened.
  explicit TMemIniFile(std::string fileName);
  // (operations declared by the implementation)
};
