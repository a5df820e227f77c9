// Whether this build runs under AddressSanitizer (GCC says so with a macro,
// clang through __has_feature), for the few places that must know.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define I2M_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define I2M_ADDRESS_SANITIZER 1
#endif
#endif
