// Whether this test build runs under the address sanitizer. Tests of outside
// programs and of whole-program repetitions, which check no memory of ours
// the rest of the suite does not, leave themselves to the Release build (CI
// runs both).
#pragma once

// (GCC defines __SANITIZE_ADDRESS__; clang tells through __has_feature.)
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool sanitized = true;
#else
inline constexpr bool sanitized = false;
#endif
#else
inline constexpr bool sanitized = false;
#endif
