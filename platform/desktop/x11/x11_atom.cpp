#include "x11_atom.h"

#include "x11_reply.h"

#include <array>
#include <cstring>
#include <utility>

namespace vantrel {
namespace {

xcb_intern_atom_cookie_t AskForAtom(xcb_connection_t* connection, const char* name) {
    return xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
}

xcb_atom_t AtomOf(xcb_connection_t* connection, xcb_intern_atom_cookie_t cookie) {
    const auto reply = Owned(xcb_intern_atom_reply(connection, cookie, nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

} // namespace

xcb_atom_t InternX11Atom(xcb_connection_t* connection, const char* name) {
    return AtomOf(connection, AskForAtom(connection, name));
}

X11Atoms::X11Atoms(xcb_connection_t* connection) {
    const std::array<std::pair<xcb_atom_t*, const char*>, 8> atoms{{
        {&netSupportingWmCheck, "_NET_SUPPORTING_WM_CHECK"},
        {&netWorkArea, "_NET_WORKAREA"},
        {&netFrameExtents, "_NET_FRAME_EXTENTS"},
        {&netWmState, "_NET_WM_STATE"},
        {&netWmStateMaximizedVert, "_NET_WM_STATE_MAXIMIZED_VERT"},
        {&netWmStateMaximizedHorz, "_NET_WM_STATE_MAXIMIZED_HORZ"},
        {&netSupported, "_NET_SUPPORTED"},
        {&netRequestFrameExtents, "_NET_REQUEST_FRAME_EXTENTS"},
    }};
    std::array<xcb_intern_atom_cookie_t, atoms.size()> cookies{};
    for (size_t i = 0; i < atoms.size(); ++i) cookies[i] = AskForAtom(connection, atoms[i].second);
    for (size_t i = 0; i < atoms.size(); ++i) *atoms[i].first = AtomOf(connection, cookies[i]);
}

} // namespace vantrel
