// Compile-time facts only: any thread, no state.
#pragma once

// TORNAVEL_ASAN is 1 in a build under AddressSanitizer, from g++ or clang
// (clang 14 does not define g++'s __SANITIZE_ADDRESS__).
#if defined(__SANITIZE_ADDRESS__)
#define TORNAVEL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TORNAVEL_ASAN 1
#endif
#endif
#ifndef TORNAVEL_ASAN
#define TORNAVEL_ASAN 0
#endif
