#include "x11_atom.h"

#include "x11_reply.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace vantrel {

xcb_atom_t InternX11Atom(xcb_connection_t* connection, const char* name) {
    const auto cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    const auto reply = Owned(xcb_intern_atom_reply(connection, cookie, nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

} // namespace vantrel
