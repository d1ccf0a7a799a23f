// The program's load configuration. The loader reads it before it loads the DLLs that the
// program imports: its dependent-load flags make those DLLs, and everything they load in
// turn, come from the system folder only (Windows 10 1607 and later; earlier systems skip
// the field). Nothing calls it: the linker finds it by its name, points the image's
// load-configuration entry at it and takes its size from the first field.
#include <windows.h>

#include <cstddef>

namespace {

constexpr IMAGE_LOAD_CONFIG_DIRECTORY LoadConfig() {
  IMAGE_LOAD_CONFIG_DIRECTORY config{};
#ifdef _WIN64
  config.Size = sizeof config;
#else
  // On x86 the structure stops before the table of safe exception handlers: this toolchain
  // makes none, and a load configuration that held an empty table could make the system
  // refuse the program's own exception handlers.
  config.Size = offsetof(IMAGE_LOAD_CONFIG_DIRECTORY32, SEHandlerTable);
#endif
  config.Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32; // the dependent-load flags
  return config;
}

} // namespace

extern "C" {
extern const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used;
constinit const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used = LoadConfig();
}
