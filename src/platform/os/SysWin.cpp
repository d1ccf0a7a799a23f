#include "platform/os/SysWin.h"

namespace {

TSysWin Table{&::CreateFileA,
              &::ReadFile,
              &::WriteFile,
              &::SetFilePointer,
              &::SetEndOfFile,
              &::FlushFileBuffers,
              &::GetFileInformationByHandle,
              &::GetFileInformationByHandleEx,
              &::SetFileInformationByHandle,
              &::GetFinalPathNameByHandleW,
              &::GetFullPathNameW,
              &::GetShortPathNameW,
              &::GetFileAttributesA,
              &::GetFileAttributesExA,
              &::ReplaceFileA,
              &::MoveFileExA,
              &::DeleteFileA,
              &::FindFirstFileA,
              &::FindNextFileA,
              &::Sleep,
              &::SHFileOperationA,
              &::ShellExecuteA,
              &::CreateFileW,
              &::CreateMutexW,
              &::WaitForSingleObject,
              &::CreateFileMappingW,
              &::OpenFileMappingW,
              &::MapViewOfFile,
              &::GetLongPathNameW,
              &::GetFileAttributesW,
              &::FindFirstFileW,
              &::FindNextFileW,
              &::DeleteFileW,
              &::MoveFileExW,
              &::SHGetKnownFolderPath,
              &::CoCreateInstance};

} // namespace

TSysWin& SysWin() {
  return Table;
}
