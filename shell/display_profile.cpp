#include "shell/display_profile.h"

#include "dispatch/load.h"
#include "shell/core/viewer_controller.h"

#include <QGuiApplication>
#include <QTimer>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

namespace pictorand {

namespace {

constexpr const char* kProfileAtom = "_ICC_PROFILE";

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name)
{
    std::unique_ptr<xcb_intern_atom_reply_t, FreeReply> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The default screen's root window.
xcb_window_t rootWindow(xcb_connection_t* connection, int screenNumber)
{
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    return screens.rem > 0 ? screens.data->root : xcb_window_t(XCB_WINDOW_NONE);
}

// The property's bytes, whatever type a colour manager gave it (CARDINAL by
// the convention; some write STRING), as long as they are bytes and no more
// than a load request carries.
std::vector<uint8_t> readProfile(xcb_connection_t* connection, xcb_window_t root, xcb_atom_t atom)
{
    if (root == XCB_WINDOW_NONE || atom == XCB_ATOM_NONE)
        return {};
    constexpr auto kWords = static_cast<uint32_t>((kLargestDisplayProfile + 3) / 4);
    std::unique_ptr<xcb_get_property_reply_t, FreeReply> reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, root, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, kWords), nullptr));
    if (!reply || reply->format != 8 || reply->bytes_after != 0)
        return {};
    const int length = xcb_get_property_value_length(reply.get());
    if (length <= 0 || static_cast<size_t>(length) > kLargestDisplayProfile)
        return {};
    const auto* bytes = static_cast<const uint8_t*>(xcb_get_property_value(reply.get()));
    return std::vector<uint8_t>(bytes, bytes + length);
}

// Before Qt is up the platform it will take is a guess from the environment,
// as Qt makes it: an X11 display is not read for a program that will be on
// Wayland (its XWayland root may carry a profile Qt's Wayland windows are
// not shown with).
bool willBeOnX11()
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform)
        return std::string_view(platform).starts_with("xcb");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return !(wayland && *wayland) && std::getenv("DISPLAY");
}

} // namespace

std::vector<uint8_t> displayProfileBeforeStart()
{
    if (!willBeOnX11())
        return {};
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    std::vector<uint8_t> profile;
    if (connection && !xcb_connection_has_error(connection))
        profile = readProfile(connection, rootWindow(connection, screenNumber), internAtom(connection, kProfileAtom));
    if (connection)
        xcb_disconnect(connection);
    return profile;
}

struct DisplayProfileWatcher::Display {
    xcb_connection_t* connection = nullptr; // Qt's
    xcb_window_t root = XCB_WINDOW_NONE;
    xcb_atom_t atom = XCB_ATOM_NONE;
};

DisplayProfileWatcher::DisplayProfileWatcher(std::function<void(std::vector<uint8_t>)> changed)
    : m_changed(std::move(changed))
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return;
    int screenNumber = 0;
    char* host = nullptr;
    int displayNumber = 0;
    if (xcb_parse_display(nullptr, &host, &displayNumber, &screenNumber))
        std::free(host);
    auto display = std::make_unique<Display>();
    display->connection = connection;
    display->root = rootWindow(connection, screenNumber);
    display->atom = internAtom(connection, kProfileAtom);
    if (display->root == XCB_WINDOW_NONE || display->atom == XCB_ATOM_NONE)
        return;
    // Qt listens to the root window's properties already; the mask is this
    // connection's, so adding to it keeps what Qt asked for.
    std::unique_ptr<xcb_get_window_attributes_reply_t, FreeReply> attributes(xcb_get_window_attributes_reply(
        connection, xcb_get_window_attributes(connection, display->root), nullptr));
    const uint32_t mask = (attributes ? attributes->your_event_mask : 0) | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection, display->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);
    m_display = std::move(display);
    qGuiApp->installNativeEventFilter(this);
}

DisplayProfileWatcher::~DisplayProfileWatcher() = default; // the filter takes itself off the application

std::vector<uint8_t> DisplayProfileWatcher::current() const
{
    return m_display ? readProfile(m_display->connection, m_display->root, m_display->atom) : std::vector<uint8_t>();
}

bool DisplayProfileWatcher::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (!m_display || eventType != "xcb_generic_event_t" || !message)
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY)
        return false;
    const auto* property = static_cast<const xcb_property_notify_event_t*>(message);
    if (property->window != m_display->root || property->atom != m_display->atom || !m_changed || m_pending)
        return false;
    m_pending = true;
    QTimer::singleShot(0, &m_deferred, [this] {
        m_pending = false;
        m_changed(current());
    });
    return false; // Qt sees it too
}

std::unique_ptr<DisplayProfileWatcher> watchDisplayProfile(ViewerController& viewer)
{
    auto watcher = std::make_unique<DisplayProfileWatcher>(
        [&viewer](std::vector<uint8_t> profile) { viewer.setDisplayProfile(std::move(profile)); });
    viewer.setDisplayProfile(watcher->current());
    return watcher;
}

} // namespace pictorand
