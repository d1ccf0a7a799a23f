#pragma once

// The system calls of the Windows layer that touch files, the run lock's objects and the
// Startup folder, one table by name, the way the layer makes every such call that can fail:
// SysWin().CreateFileA(...) and so on. Each entry is the
// real call; a test replaces entries to make calls fail with the errors the system gives.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

struct TSysWin {
  decltype(&::CreateFileA) CreateFileA;
  decltype(&::ReadFile) ReadFile;
  decltype(&::WriteFile) WriteFile;
  decltype(&::SetFilePointer) SetFilePointer;
  decltype(&::SetEndOfFile) SetEndOfFile;
  decltype(&::FlushFileBuffers) FlushFileBuffers;
  decltype(&::GetFileInformationByHandle) GetFileInformationByHandle;
  decltype(&::GetFileInformationByHandleEx) GetFileInformationByHandleEx;
  decltype(&::SetFileInformationByHandle) SetFileInformationByHandle;
  decltype(&::GetFinalPathNameByHandleW) GetFinalPathNameByHandleW;
  decltype(&::GetFullPathNameW) GetFullPathNameW;
  decltype(&::GetShortPathNameW) GetShortPathNameW;
  decltype(&::GetFileAttributesA) GetFileAttributesA;
  decltype(&::GetFileAttributesExA) GetFileAttributesExA;
  decltype(&::ReplaceFileA) ReplaceFileA;
  decltype(&::MoveFileExA) MoveFileExA;
  decltype(&::DeleteFileA) DeleteFileA;
  decltype(&::FindFirstFileA) FindFirstFileA;
  decltype(&::FindNextFileA) FindNextFileA;
  decltype(&::Sleep) Sleep;
  decltype(&::SHFileOperationA) SHFileOperationA;
  decltype(&::ShellExecuteA) ShellExecuteA;
  decltype(&::CreateFileW) CreateFileW;
  decltype(&::CreateMutexW) CreateMutexW;
  decltype(&::WaitForSingleObject) WaitForSingleObject;
  decltype(&::CreateFileMappingW) CreateFileMappingW;
  decltype(&::OpenFileMappingW) OpenFileMappingW;
  decltype(&::MapViewOfFile) MapViewOfFile;
  decltype(&::GetLongPathNameW) GetLongPathNameW;
  decltype(&::GetFileAttributesW) GetFileAttributesW;
  decltype(&::FindFirstFileW) FindFirstFileW;
  decltype(&::FindNextFileW) FindNextFileW;
  decltype(&::DeleteFileW) DeleteFileW;
  decltype(&::MoveFileExW) MoveFileExW;
  decltype(&::SHGetKnownFolderPath) SHGetKnownFolderPath;
  decltype(&::CoCreateInstance) CoCreateInstance;
};

// The table in use: the real calls unless a test has replaced some.
TSysWin& SysWin();
