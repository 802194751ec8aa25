#pragma once
// The libpmx_FileDescriptor library is built with hidden visibility: only what carries
// PMX_FILEDESCRIPTOR_API is exported. Its users see the same attribute, which is harmless.
#define PMX_FILEDESCRIPTOR_API __attribute__((visibility("default")))
