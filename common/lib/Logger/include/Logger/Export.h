#pragma once
// The libpmx_Logger library is built with hidden visibility: only what carries
// PMX_LOGGER_API is exported. Its users see the same attribute, which is harmless.
#define PMX_LOGGER_API __attribute__((visibility("default")))
