#pragma once
// How many rounds the long randomised tests run. Under AddressSanitizer every round costs several times
// more, so the sanitizer build runs fewer of them; the full counts run in the normal build, and longer runs
// go through scripts (scripts/monkey.sh for the monkey).

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kUnderSanitizer = true;
#else
inline constexpr bool kUnderSanitizer = false;
#endif

/// `normal` rounds in the normal build, `sanitized` under the sanitizers.
constexpr int RoundsFor(int normal, int sanitized) {
    return kUnderSanitizer ? sanitized : normal;
}
