#pragma once

#include <xcb/xcb.h>

namespace vantrel {

// The X atom of a name, made if the server has none yet; XCB_ATOM_NONE
// when the server does not answer.
xcb_atom_t InternX11Atom(xcb_connection_t* connection, const char* name);

} // namespace vantrel
