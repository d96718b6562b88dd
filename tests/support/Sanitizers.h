#pragma once

// Whether the tests were built with the address sanitizer, whose own handlers and quarantine
// change how a fault ends a process and how much memory it keeps.
inline bool builtWithAddressSanitizer()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return false;
}

// Whether the tests were built with the thread sanitizer.
inline bool builtWithThreadSanitizer()
{
#if defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
    return true;
#endif
#endif
    return false;
}
