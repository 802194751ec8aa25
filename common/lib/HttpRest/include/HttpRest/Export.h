#pragma once
// The libpmx_HttpRest library is built with hidden visibility: only what carries
// PMX_HTTPREST_API is exported. Its users see the same attribute, which is harmless.
#define PMX_HTTPREST_API __attribute__((visibility("default")))
