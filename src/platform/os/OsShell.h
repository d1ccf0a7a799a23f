#pragma once

#include "platform/os/OsSlot.h"

#include <cstdint>
#include <string>

// The desktop shell: copying a file and opening a file with its associated application.
class TOsShell {
public:
  virtual ~TOsShell() = default;
  // Copies one file (Windows: SHFileOperationA, FO_COPY, FOF_SILENT alone, no owner
  // window) to a name that holds nothing, or a file made meanwhile by another start; never
  // into a folder. Returns the shell's result: 0 on success.
  virtual int ShellCopy(const std::string& from, const std::string& to) = 0;
  // Opens a file with the application associated with it, in the show state given
  // (Windows: ShellExecuteA with no owner window, verb, parameters or folder). Returns the
  // shell's result as a signed 32-bit integer: above 32 on success.
  virtual std::int32_t ShellOpen(const std::string& file, int showCommand) = 0;
};

inline TOsShell& OsShell() {
  return TOsSlot<TOsShell>::Get();
}

// Results of a failed opening, as Windows reports them.
inline constexpr std::int32_t SeErrFileNotFound = 2;
inline constexpr std::int32_t SeErrPathNotFound = 3;
inline constexpr std::int32_t SeErrAccessDenied = 5;
inline constexpr std::int32_t SeErrNoAssoc = 31;
