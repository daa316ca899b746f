// Test helper: TVX_ADDRESS_SANITIZER is defined in builds with the address sanitizer, which ends
// the process itself when an allocation fails, before any handler of ours could run.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define TVX_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TVX_ADDRESS_SANITIZER 1
#endif
#endif
