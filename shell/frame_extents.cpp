#include "shell/frame_extents.h"

#include <QGuiApplication>
#include <QThread>
#include <QWidget>

#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace pictorand {

namespace {

template <class Reply>
using ReplyPointer = std::unique_ptr<Reply, decltype(&std::free)>;

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    ReplyPointer<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(connection,
                              xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The 32-bit items of a property, empty when it is not there.
std::vector<uint32_t> cardinals(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
                                xcb_atom_t type)
{
    ReplyPointer<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(connection, xcb_get_property(connection, 0, window, property, type, 0, 1024), nullptr),
        &std::free);
    if (!reply || reply->format != 32)
        return {};
    const auto* items = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
    return std::vector<uint32_t>(items, items + xcb_get_property_value_length(reply.get()) / 4);
}

} // namespace

std::optional<QMargins> announcedFrameExtents(QWidget* window, int waitMs)
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection || !window)
        return std::nullopt;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_atom_t extents = atom(connection, "_NET_FRAME_EXTENTS");
    const xcb_atom_t request = atom(connection, "_NET_REQUEST_FRAME_EXTENTS");
    // Only a manager that says it answers the request is asked: without one
    // the wait would be for nothing.
    const std::vector<uint32_t> supported = cardinals(connection, screen->root, atom(connection, "_NET_SUPPORTED"),
                                                      XCB_ATOM_ATOM);
    if (std::find(supported.begin(), supported.end(), request) == supported.end())
        return std::nullopt;
    const auto id = static_cast<xcb_window_t>(window->winId());
    if (cardinals(connection, id, extents, XCB_ATOM_CARDINAL).size() != 4) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = id;
        message.type = request;
        xcb_send_event(connection, 0, screen->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&message));
        xcb_flush(connection);
    }
    for (int waited = 0; waited <= waitMs; waited += 2) {
        const std::vector<uint32_t> margins = cardinals(connection, id, extents, XCB_ATOM_CARDINAL);
        if (margins.size() == 4) // left, right, top, bottom
            return QMargins(static_cast<int>(margins[0]), static_cast<int>(margins[2]), static_cast<int>(margins[1]),
                            static_cast<int>(margins[3]));
        QThread::msleep(2);
    }
    return std::nullopt;
}

} // namespace pictorand
