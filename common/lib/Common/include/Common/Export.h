#pragma once
// The libpmx_Common library is built with hidden visibility: only what carries
// PMX_COMMON_API is exported. Its users see the same attribute, which is harmless.
#define PMX_COMMON_API __attribute__((visibility("default")))
