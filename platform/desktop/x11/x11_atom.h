#pragma once

#include <xcb/xcb.h>

namespace vantrel {

// The X atom of a name, made if the server has none yet; XCB_ATOM_NONE
// when the server does not answer.
xcb_atom_t InternX11Atom(xcb_connection_t* connection, const char* name);

// The atoms that the placement of the program's windows reads and writes,
// interned together, in one round trip, once per connection.
struct X11Atoms {
    explicit X11Atoms(xcb_connection_t* connection);

    xcb_atom_t netSupportingWmCheck = XCB_ATOM_NONE;
    xcb_atom_t netWorkArea = XCB_ATOM_NONE;
    xcb_atom_t netFrameExtents = XCB_ATOM_NONE;
    xcb_atom_t netWmState = XCB_ATOM_NONE;
    xcb_atom_t netWmStateMaximizedVert = XCB_ATOM_NONE;
    xcb_atom_t netWmStateMaximizedHorz = XCB_ATOM_NONE;
    xcb_atom_t netSupported = XCB_ATOM_NONE;
    xcb_atom_t netRequestFrameExtents = XCB_ATOM_NONE;
};

} // namespace vantrel
