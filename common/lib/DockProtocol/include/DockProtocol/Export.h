/// \file
/// The export attribute of the library's public names.
#pragma once
// The libpmx_DockProtocol library is built with hidden visibility: only what carries
// PMX_DOCKPROTOCOL_API is exported. Its users see the same attribute, which is harmless.
/// Marks a class or function as exported from `libpmx_DockProtocol.so`.
/// Needs nothing from the host; everything else in the library is hidden.
#define PMX_DOCKPROTOCOL_API __attribute__((visibility("default")))
