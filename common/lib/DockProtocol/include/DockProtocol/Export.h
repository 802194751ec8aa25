#pragma once
// The libpmx_DockProtocol library is built with hidden visibility: only what carries
// PMX_DOCKPROTOCOL_API is exported. Its users see the same attribute, which is harmless.
#define PMX_DOCKPROTOCOL_API __attribute__((visibility("default")))
