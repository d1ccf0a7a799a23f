#pragma once

// Code addresses of the running program. The language has no way to name the address a
// call returns to, so the compiler's own facility is used, here and nowhere else.
#if defined(__GNUC__) || defined(__clang__)
#define AQ_NOINLINE __attribute__((noinline))
#define AQ_RETURN_ADDRESS() __builtin_extract_return_addr(__builtin_return_address(0))
#else
#define AQ_NOINLINE
#define AQ_RETURN_ADDRESS() (static_cast<void*>(nullptr))
#endif
