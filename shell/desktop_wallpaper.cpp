#include "shell/desktop_wallpaper.h"

#include "dispatch/load.h"
#include "platform/formatted_text.h"
#include "tools/painting/block_image.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTimer>
#include <QEventLoop>
#include <QScreen>

#include <xcb/xcb.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace pictorand {

namespace {

constexpr int kToolTimeoutMs = 15000;

struct ToolRun {
    bool ok = false;
    std::string output;
    std::string error;
};

ToolRun runTool(const std::vector<std::string>& arguments)
{
    ToolRun run;
    QProcess process;
    QStringList rest;
    for (size_t i = 1; i < arguments.size(); ++i)
        rest << QString::fromStdString(arguments[i]);
    process.start(QString::fromStdString(arguments.front()), rest);
    if (!process.waitForStarted(kToolTimeoutMs)) {
        run.error = arguments.front() + " could not be started";
        return run;
    }
    if (!process.waitForFinished(kToolTimeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        run.error = arguments.front() + " did not finish";
        return run;
    }
    run.output = process.readAllStandardOutput().toStdString();
    run.error = process.readAllStandardError().trimmed().toStdString();
    run.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!run.ok && run.error.empty())
        run.error = arguments.front() + " failed";
    return run;
}

std::string trimmedOutput(const std::string& text)
{
    return QString::fromStdString(text).trimmed().toStdString();
}

// Writes each value, then reads every one back: a tool that exits 0 without
// storing (a schema missing, a daemon gone) must not pass for success.
std::optional<std::string> writeSettings(const std::vector<DesktopSetting>& settings)
{
    for (const DesktopSetting& setting : settings) {
        ToolRun set = runTool(setting.set);
        if (!set.ok)
            return set.error;
    }
    for (const DesktopSetting& setting : settings) {
        ToolRun get = runTool(setting.get);
        if (!get.ok)
            return get.error;
        const std::string value = setting.gvariantOutput ? gvariantStringValue(get.output) : trimmedOutput(get.output);
        if (value != setting.expected)
            return formatted("%s reads back \"%s\", not \"%s\"", setting.get.back().c_str(), value.c_str(),
                             setting.expected.c_str());
    }
    return std::nullopt;
}

std::string readGsetting(const GsettingsPlace& place, const std::string& key)
{
    ToolRun get = runTool({"gsettings", "get", place.schema, key});
    return get.ok ? gvariantStringValue(get.output) : std::string();
}

} // namespace

DesktopWallpaper::DesktopWallpaper(SessionInfo session) : m_session(std::move(session)), m_desktop(chooseDesktop(m_session))
{
}

Failure DesktopWallpaper::failure(const std::string& detail) const
{
    return {Reason::WriteFailed, formatted("%s %s !\n\n%s", "Can't set the wallpaper of", name().c_str(), detail.c_str())};
}

std::vector<std::string> DesktopWallpaper::xfceProperties() const
{
    // A channel without properties makes the listing fail: nothing listed.
    ToolRun listed = runTool({"xfconf-query", "-c", "xfce4-desktop", "-l"});
    std::vector<std::string> monitors;
    for (QScreen* screen : QGuiApplication::screens())
        monitors.push_back(screen->name().toStdString());
    return xfceImageProperties(listed.ok ? listed.output : std::string(), monitors);
}

std::optional<WallpaperRecord> DesktopWallpaper::shown() const
{
    if (std::optional<GsettingsPlace> place = gsettingsPlace(m_desktop)) {
        const std::string picture = readGsetting(*place, place->pictureKey);
        const std::string path = place->pictureIsUri ? pathOfFileUri(picture) : picture;
        if (path.empty())
            return std::nullopt;
        return WallpaperRecord{path, readGsetting(*place, "picture-options") == "wallpaper"};
    }
    if (m_desktop == Desktop::Xfce) {
        const std::vector<std::string> properties = xfceProperties();
        ToolRun image = runTool({"xfconf-query", "-c", "xfce4-desktop", "-p", properties.front()});
        if (!image.ok || trimmedOutput(image.output).empty())
            return std::nullopt;
        const std::string base = properties.front().substr(0, properties.front().size() - std::strlen("last-image"));
        ToolRun style = runTool({"xfconf-query", "-c", "xfce4-desktop", "-p", base + "image-style"});
        return WallpaperRecord{trimmedOutput(image.output), style.ok && trimmedOutput(style.output) == "2"};
    }
    return std::nullopt;
}

Result<std::string> DesktopWallpaper::apply(const std::string& path, WallpaperStyle style,
                                            const std::string& lastGiven) const
{
    switch (m_desktop) {
    case Desktop::Gnome:
    case Desktop::Mate:
    case Desktop::Cinnamon:
    case Desktop::Xfce:
        return applySettings(path, style);
    case Desktop::Plasma:
        return applyPlasma(path, style, lastGiven);
    case Desktop::Portal:
        return applyPortal(path);
    case Desktop::X11Root:
        return applyRootWindow(path, style);
    case Desktop::Unknown:
        break;
    }
    return failure("No way to set a wallpaper is known for it.");
}

Result<std::string> DesktopWallpaper::applySettings(const std::string& path, WallpaperStyle style) const
{
    std::optional<WallpaperRecord> now = shown();
    const std::string spelling = freshSpelling(path, now ? now->path : std::string());
    std::vector<DesktopSetting> settings;
    if (m_desktop == Desktop::Xfce)
        settings = xfceWallpaper(xfceProperties(), spelling, style);
    else
        settings = gsettingsWallpaper(m_desktop, spelling, style);
    if (std::optional<std::string> problem = writeSettings(settings))
        return failure(*problem);
    return spelling;
}

Result<std::string> DesktopWallpaper::applyPlasma(const std::string& path, WallpaperStyle style,
                                                  const std::string& lastGiven) const
{
    // plasmashell cannot be asked what it shows; it reloads on a changed URL.
    const std::string spelling = freshSpelling(path, lastGiven);
    QDBusMessage call = QDBusMessage::createMethodCall("org.kde.plasmashell", "/PlasmaShell", "org.kde.PlasmaShell",
                                                       "evaluateScript");
    call << QString::fromStdString(plasmaWallpaperScript(spelling, style));
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, kToolTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage)
        return failure(reply.errorMessage().toStdString());
    return spelling;
}

namespace {

// Waits for the portal's answer to one request.
class PortalResponse : public QObject {
    Q_OBJECT
public:
    bool answered = false;
    uint code = 2;
    QEventLoop loop;

public slots:
    void response(uint result, const QVariantMap&)
    {
        answered = true;
        code = result;
        loop.quit();
    }
};

// The user may be asked to confirm; the portal answers when they have.
constexpr int kPortalAnswerMs = 120000;

} // namespace

Result<std::string> DesktopWallpaper::applyPortal(const std::string& path) const
{
    // The portal has no tiling; it places the picture as the compositor's
    // own settings say.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return failure(cantOpenFile(path).detail);
    QDBusUnixFileDescriptor descriptor(fd);
    ::close(fd);
    QDBusConnection bus = QDBusConnection::sessionBus();
    // The request's object path follows from our bus name and a token of
    // our choice, so its answer is listened for before the call is made.
    const QString token = QString("pictorand%1").arg(QRandomGenerator::global()->generate());
    const QString sender = bus.baseService().mid(1).replace('.', '_');
    const QString request = "/org/freedesktop/portal/desktop/request/" + sender + "/" + token;
    PortalResponse response;
    bus.connect("org.freedesktop.portal.Desktop", request, "org.freedesktop.portal.Request", "Response", &response,
                SLOT(response(uint, QVariantMap)));
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                                                       "org.freedesktop.portal.Wallpaper", "SetWallpaperFile");
    QVariantMap options{{"show-preview", false}, {"set-on", QString("background")}, {"handle_token", token}};
    call << QString() << QVariant::fromValue(descriptor) << options;
    const QDBusMessage reply = bus.call(call, QDBus::Block, kToolTimeoutMs);
    if (reply.type() != QDBusMessage::ErrorMessage && !response.answered) {
        QTimer::singleShot(kPortalAnswerMs, &response.loop, &QEventLoop::quit);
        response.loop.exec();
    }
    bus.disconnect("org.freedesktop.portal.Desktop", request, "org.freedesktop.portal.Request", "Response", &response,
                   SLOT(response(uint, QVariantMap)));
    if (reply.type() == QDBusMessage::ErrorMessage) {
        // No portal at all is the usual case on a bare compositor, and the
        // bus's own words for it do not say what the user can do.
        const QString name = reply.errorName();
        if (name == "org.freedesktop.DBus.Error.ServiceUnknown" || name == "org.freedesktop.DBus.Error.NameHasNoOwner")
            return failure(kNoWallpaperPortal);
        // GLib names a missing interface UnknownMethod (newer ones UnknownInterface).
        if (name == "org.freedesktop.DBus.Error.UnknownMethod" || name == "org.freedesktop.DBus.Error.UnknownInterface")
            return failure(kNoWallpaperBackend);
        return failure(reply.errorMessage().toStdString());
    }
    if (!response.answered)
        return failure("The desktop portal did not answer.");
    if (response.code != 0)
        return failure(response.code == 1 ? "Cancelled." : "The desktop portal refused the picture.");
    return path;
}

Result<std::string> DesktopWallpaper::applyRootWindow(const std::string& path, WallpaperStyle style) const
{
    const SettingsFile settings;
    LoadOutcome load = pictorand::load(batchRequest(path, settings));
    const std::string message = loadFailureWords(load);
    const ImageBlock& block = load.block;
    if (!block)
        return failure(message.empty() ? "Can't read " + path : message);
    Status set = setRootWindowPicture(block, style);
    if (!set)
        return failure(set.failure().detail);
    return path;
}

// ---------------------------------------------------------------------------
// The root window

namespace {

struct XcbConnection {
    xcb_connection_t* connection = nullptr;
    int screenNumber = 0;
    XcbConnection() { connection = xcb_connect(nullptr, &screenNumber); }
    ~XcbConnection()
    {
        if (connection)
            xcb_disconnect(connection);
    }
    bool ok() const { return connection && !xcb_connection_has_error(connection); }
};

xcb_atom_t internAtom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

xcb_pixmap_t pixmapProperty(xcb_connection_t* c, xcb_window_t root, xcb_atom_t atom)
{
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, atom, XCB_ATOM_PIXMAP, 0, 1), nullptr);
    xcb_pixmap_t pixmap = XCB_NONE;
    if (reply && reply->type == XCB_ATOM_PIXMAP && reply->format == 32 && xcb_get_property_value_length(reply) >= 4)
        std::memcpy(&pixmap, xcb_get_property_value(reply), 4);
    std::free(reply);
    return pixmap;
}

// The screen's pixel layout as 32-bit words with red in bits 16 to 23,
// green 8 to 15 and blue 0 to 7, which is how a QImage::Format_RGB32 row
// lies in memory on a little-endian host.
bool rootTakesRgb32(const xcb_setup_t* setup, const xcb_screen_t* screen)
{
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST || (screen->root_depth != 24 && screen->root_depth != 32))
        return false;
    bool thirtyTwoBits = false;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem; xcb_format_next(&formats))
        if (formats.data->depth == screen->root_depth)
            thirtyTwoBits = formats.data->bits_per_pixel == 32;
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem; xcb_depth_next(&depths))
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem; xcb_visualtype_next(&visuals))
            if (visuals.data->visual_id == screen->root_visual)
                return thirtyTwoBits && visuals.data->red_mask == 0xFF0000 && visuals.data->green_mask == 0xFF00
                       && visuals.data->blue_mask == 0xFF;
    return false;
}

} // namespace

Status setRootWindowPicture(const ImageBlock& block, WallpaperStyle style)
{
    XcbConnection x;
    if (!x.ok())
        return Failure{Reason::CantOpenFile, "No X11 display can be reached."};
    xcb_connection_t* c = x.connection;
    const xcb_setup_t* setup = xcb_get_setup(c);
    auto roots = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < x.screenNumber && roots.rem; ++i)
        xcb_screen_next(&roots);
    const xcb_screen_t* screen = roots.data;
    if (!screen || !rootTakesRgb32(setup, screen))
        return Failure{Reason::Unsupported, "The root window's pixel format is not one this program writes."};

    const int width = screen->width_in_pixels;
    const int height = screen->height_in_pixels;
    QImage canvas(width, height, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    {
        std::vector<uint8_t> scratch;
        const QImage picture = blockImage(block, logicalPalette(block), scratch).mirrored().convertToFormat(QImage::Format_RGB32);
        QPainter painter(&canvas);
        if (style == WallpaperStyle::Tiled)
            painter.fillRect(canvas.rect(), QBrush(picture));
        else
            painter.drawImage((width - picture.width()) / 2, (height - picture.height()) / 2, picture);
    }

    const xcb_window_t root = screen->root;
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, screen->root_depth, pixmap, root, static_cast<uint16_t>(width), static_cast<uint16_t>(height));
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, pixmap, 0, nullptr);
    // A request carries at most the server's maximum length: send bands of rows.
    const uint64_t maxBytes = uint64_t(xcb_get_maximum_request_length(c)) * 4 - 64;
    const int bandRows = std::max(1, static_cast<int>(maxBytes / (uint64_t(width) * 4)));
    for (int y = 0; y < height; y += bandRows) {
        const int rows = std::min(bandRows, height - y);
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, static_cast<uint16_t>(width), static_cast<uint16_t>(rows),
                      0, static_cast<int16_t>(y), 0, screen->root_depth, static_cast<uint32_t>(rows * width * 4),
                      canvas.constScanLine(y));
    }
    xcb_free_gc(c, gc);

    const xcb_atom_t rootPixmap = internAtom(c, "_XROOTPMAP_ID");
    const xcb_atom_t setRootPixmap = internAtom(c, "ESETROOT_PMAP_ID");
    if (rootPixmap == XCB_ATOM_NONE || setRootPixmap == XCB_ATOM_NONE)
        return Failure{Reason::WriteFailed, "The root window's properties cannot be named."};
    // The pixmap a setter left behind (kept alive past its connection, like
    // ours) is freed by closing that connection's resources, the convention
    // Esetroot started; a pixmap some other program still owns is left alone.
    const xcb_pixmap_t oldPixmap = pixmapProperty(c, root, setRootPixmap);
    if (oldPixmap != XCB_NONE && oldPixmap == pixmapProperty(c, root, rootPixmap))
        xcb_kill_client(c, oldPixmap);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, rootPixmap, XCB_ATOM_PIXMAP, 32, 1, &pixmap);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, setRootPixmap, XCB_ATOM_PIXMAP, 32, 1, &pixmap);
    xcb_change_window_attributes(c, root, XCB_CW_BACK_PIXMAP, &pixmap);
    xcb_clear_area(c, 0, root, 0, 0, 0, 0);
    xcb_set_close_down_mode(c, XCB_CLOSE_DOWN_RETAIN_PERMANENT);

    // The property read back after a round trip also flushes every request
    // above; an error among them arrives as an event before it.
    const xcb_pixmap_t published = pixmapProperty(c, root, rootPixmap);
    while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
        const bool error = event->response_type == 0;
        std::free(event);
        if (error)
            return Failure{Reason::WriteFailed, "The X server refused the root window's new picture."};
    }
    if (published != pixmap)
        return Failure{Reason::WriteFailed, "The root window does not show the new picture."};
    return {};
}

} // namespace pictorand

#include "desktop_wallpaper.moc"
