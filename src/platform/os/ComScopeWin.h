#pragma once

// COM for the calling thread, apartment-threaded, for as long as a shell call or a shell
// link is in use: some shell extensions and associations rely on it.
#include <objbase.h>

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
