#pragma once
// The libpmx_Connect library is built with hidden visibility: only what carries
// PMX_CONNECT_API is exported. Its users see the same attribute, which is harmless.
#define PMX_CONNECT_API __attribute__((visibility("default")))
