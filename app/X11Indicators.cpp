#include "app/X11Indicators.h"

#include <QGuiApplication>

#if QUORLIN_HAVE_XKB
#include <QtGui/qguiapplication_platform.h>
#include <stdlib.h>
#include <string.h>
#include <xcb/xcb.h>
// The extension's header names a member "explicit", a keyword of C++.
#define explicit xkb_explicit
#include <xcb/xkb.h>
#undef explicit

#include <memory>
#endif

namespace quorlin {

#if QUORLIN_HAVE_XKB

namespace {

struct FreeReply {
    void operator()(void* reply) const { ::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

// The extension must be asked for once on a connection before its requests;
// Qt has done so on its own, and asking again is harmless.
bool UseXkb(xcb_connection_t* connection) {
    const Reply<xcb_xkb_use_extension_reply_t> reply(xcb_xkb_use_extension_reply(
        connection, xcb_xkb_use_extension(connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr));
    return reply && reply->supported;
}

}  // namespace

std::optional<bool> X11IndicatorState(const char* name) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection || !UseXkb(connection)) return std::nullopt;
    const Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, static_cast<uint16_t>(::strlen(name)), name), nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE) return std::nullopt;
    const Reply<xcb_xkb_get_named_indicator_reply_t> indicator(xcb_xkb_get_named_indicator_reply(
        connection,
        xcb_xkb_get_named_indicator(connection, XCB_XKB_ID_USE_CORE_KBD, XCB_XKB_LED_CLASS_DFLT_XI_CLASS,
                                    XCB_XKB_ID_DFLT_XI_ID, atom->atom),
        nullptr));
    if (!indicator || !indicator->found) return std::nullopt;
    return indicator->on != 0;
}

#else

std::optional<bool> X11IndicatorState(const char*) { return std::nullopt; }

#endif

}  // namespace quorlin
