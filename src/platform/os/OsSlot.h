#pragma once

// Each group of operating-system calls is one abstract interface with exactly one
// instance in use. The native instance (Windows or POSIX, whichever the program is
// built for) is the default; unit tests put a scripted stand-in in its place.
template <class T> class TOsSlot {
public:
  static T& Get() { return Current ? *Current : Native(); }
  // Puts p in use; nullptr brings the native instance back.
  static void Use(T* p) { Current = p; }
  // Defined once by each platform implementation.
  static T& Native();

private:
  static inline T* Current = nullptr;
};
