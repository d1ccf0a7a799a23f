#pragma once

// The owners of what Windows hands out and wants back: one small class for each kind, each
// giving its object back on every path out of its scope. Move-only; nothing outside these
// classes closes a handle by hand.
#include <objbase.h>
#include <windows.h>

#include <utility>

// One object of a kind that the kind's Close gives back; the kind's None is "no object".
template <class TKind> class TOwned {
public:
  using TValue = typename TKind::TValue;
  TOwned() = default;
  explicit TOwned(TValue value) : Value(value) {}
  ~TOwned() { Close(); }
  TOwned(TOwned&& other) noexcept : Value(other.Release()) {}
  TOwned& operator=(TOwned&& other) noexcept {
    if (this != &other) {
      Close();
      Value = other.Release();
    }
    return *this;
  }

  TValue Get() const { return Value; }
  explicit operator bool() const { return Value != TKind::None(); }
  // Where a call that hands out an object puts it; any object held before is given back first.
  TValue* Out() {
    Close();
    return &Value;
  }
  // Hands the object over to the caller, who gives it back.
  TValue Release() { return std::exchange(Value, TKind::None()); }
  // Gives the object back at once: false where there was none or the system refused.
  bool Close() {
    const TValue value = Release();
    return value != TKind::None() && TKind::Close(value);
  }

private:
  TValue Value = TKind::None();
};

// A file opened by CreateFile: none is INVALID_HANDLE_VALUE.
struct TFileKind {
  using TValue = HANDLE;
  static TValue None() { return INVALID_HANDLE_VALUE; }
  static bool Close(TValue h) { return CloseHandle(h) != 0; }
};
using TFileHandle = TOwned<TFileKind>;

// A kernel object that CreateMutex, CreateFileMapping and their kin return: none is null.
struct TObjectKind {
  using TValue = HANDLE;
  static TValue None() { return nullptr; }
  static bool Close(TValue h) { return CloseHandle(h) != 0; }
};
using TObjectHandle = TOwned<TObjectKind>;

// A directory search of FindFirstFile: none is INVALID_HANDLE_VALUE.
struct TFindKind {
  using TValue = HANDLE;
  static TValue None() { return INVALID_HANDLE_VALUE; }
  static bool Close(TValue h) { return FindClose(h) != 0; }
};
using TFindHandle = TOwned<TFindKind>;

// A view of a file mapping (MapViewOfFile).
struct TViewKind {
  using TValue = void*;
  static TValue None() { return nullptr; }
  static bool Close(TValue view) { return UnmapViewOfFile(view) != 0; }
};
using TMappedView = TOwned<TViewKind>;

// A string the shell allocated with the task allocator (CoTaskMemFree).
struct TTaskStringKind {
  using TValue = PWSTR;
  static TValue None() { return nullptr; }
  static bool Close(TValue text) {
    CoTaskMemFree(text);
    return true;
  }
};
using TShellString = TOwned<TTaskStringKind>;

// One reference to a COM object, released on the way out.
template <class T> class TComRef {
public:
  TComRef() = default;
  ~TComRef() { Reset(); }
  TComRef(TComRef&& other) noexcept : Ptr(std::exchange(other.Ptr, nullptr)) {}
  TComRef& operator=(TComRef&& other) noexcept {
    if (this != &other) {
      Reset();
      Ptr = std::exchange(other.Ptr, nullptr);
    }
    return *this;
  }
  void** Out() {
    Reset();
    return reinterpret_cast<void**>(&Ptr);
  }
  T* operator->() const { return Ptr; }
  void Reset() {
    if (Ptr)
      Ptr->Release();
    Ptr = nullptr;
  }

private:
  T* Ptr = nullptr;
};

// COM for the calling thread, apartment-threaded, for as long as a shell call or a shell
// link is in use: some shell extensions and associations rely on it. Bound to its thread and
// scope, so neither copied nor moved.
class TComScope {
public:
  TComScope()
      : Initialised(
            SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {
  }
  ~TComScope() {
    if (Initialised)
      CoUninitialize();
  }
  TComScope(const TComScope&) = delete;
  TComScope& operator=(const TComScope&) = delete;

private:
  bool Initialised;
};
