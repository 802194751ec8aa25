#pragma once
// The libpmx_FileSystem library is built with hidden visibility: only what carries
// PMX_FILESYSTEM_API is exported. Its users see the same attribute, which is harmless.
#define PMX_FILESYSTEM_API __attribute__((visibility("default")))
