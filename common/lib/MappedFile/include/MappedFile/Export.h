#pragma once
// The libpmx_MappedFile library is built with hidden visibility: only what carries
// PMX_MAPPEDFILE_API is exported. Its users see the same attribute, which is harmless.
#define PMX_MAPPEDFILE_API __attribute__((visibility("default")))
