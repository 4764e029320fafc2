// The wallpaper commands on the private X server's root window, and the
// settings of each desktop written and read back by the desktops' own
// tools: gsettings on its keyfile backend (GNOME, MATE, Cinnamon), xfconf
// over the private session bus (XFCE), the script plasmashell would
// evaluate, received on that bus, and the desktop portal with its backends.

#include "codecs/bmp/bmp.h"
#include "platform/paths.h"
#include "platform/settings_file.h"
#include "platform/settings_keys.h"
#include "shell/core/commands.h"
#include "shell/desktop_wallpaper.h"
#include "tests/desktop/desktop_fixture.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusConnectionInterface>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <cstdlib>
#include <filesystem>

namespace pictorand {

// Stands where plasmashell would on the private bus and keeps the scripts
// it is sent. It lives in a thread of its own, so it answers while the
// caller blocks.
class PlasmaShellStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.PlasmaShell")
public:
    QStringList scripts()
    {
        QMutexLocker lock(&m_mutex);
        return m_scripts;
    }
public slots:
    void evaluateScript(const QString& script)
    {
        QMutexLocker lock(&m_mutex);
        m_scripts << script;
    }

private:
    QMutex m_mutex;
    QStringList m_scripts;
};

namespace testing {
namespace {

std::string wallpaperPath() { return configDirectory() + "/Pictorand32 Wallpaper.bmp"; }

std::string uriOfWallpaper() { return "file://" + configDirectory() + "/Pictorand32%20Wallpaper.bmp"; }

std::string toolOutput(const std::string& command)
{
    std::string output;
    EXPECT_EQ(runCommand(command, &output), 0) << command;
    while (!output.empty() && (output.back() == '\n' || output.back() == ' '))
        output.pop_back();
    return output;
}

uint32_t stripes(int x, int y) { return x < 20 ? 0xE02020u : (y < 15 ? 0x20E020u : 0x2020E0u); }

// A stand-in desktop service on a connection of its own to the session bus,
// answering on a thread of its own while this one waits in the call.
template <class StandIn>
class BusStandIn {
public:
    BusStandIn(const char* connection, const char* service, const char* path)
        : m_connection(connection), m_service(service), m_path(path), m_standIn(new StandIn)
    {
        m_thread.start();
        m_standIn->moveToThread(&m_thread);
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connection);
        m_registered = bus.registerObject(m_path, m_standIn, QDBusConnection::ExportAllSlots)
                       && bus.registerService(m_service);
    }
    ~BusStandIn()
    {
        stop();
        delete m_standIn;
    }
    bool registered() const { return m_registered; }
    // Leaves the bus; what the stand-in was given stays readable.
    void stop()
    {
        if (!m_thread.isRunning())
            return;
        QDBusConnection bus(m_connection);
        bus.unregisterService(m_service);
        bus.unregisterObject(m_path);
        QDBusConnection::disconnectFromBus(m_connection);
        m_thread.quit();
        m_thread.wait();
    }
    StandIn& operator*() { return *m_standIn; }
    StandIn* operator->() { return m_standIn; }

private:
    QString m_connection, m_service, m_path;
    QThread m_thread;
    StandIn* m_standIn;
    bool m_registered = false;
};

class WallpaperTest : public DesktopTest {
protected:
    void SetUp() override
    {
        DesktopTest::SetUp();
        unsetenv("XDG_CURRENT_DESKTOP");
    }
    void TearDown() override
    {
        unsetenv("XDG_CURRENT_DESKTOP");
        DesktopTest::TearDown();
    }
    std::optional<RgbImage> rootWindow()
    {
        const std::string shot = dir.file("root.ppm");
        if (runCommand("import -window root " + shellQuote(shot)) != 0)
            return std::nullopt;
        return magickDecode(shot);
    }
    static RgbImage crop(const RgbImage& image, int left, int top, int width, int height)
    {
        RgbImage part{width, height, {}};
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                part.rgb.insert(part.rgb.end(), image.at(left + x, top + y), image.at(left + x, top + y) + 3);
        return part;
    }
};

TEST_F(WallpaperTest, RootWindowShowsThePictureCentredThenTiled)
{
    REQUIRE_THAT(missingX11());
    REQUIRE_TOOLS("import");
    const ImageBlock picture = trueColorPicture(40, 30, stripes);
    const RgbImage expected = blockToRgb(picture);
    startWith(picture);
    window->hide(); // the root window is what is read back

    window->runCommand(command::WallpaperCentred);
    EXPECT_TRUE(ui.messages.empty()) << ui.messages[0].text;
    std::optional<RgbImage> root = rootWindow();
    ASSERT_TRUE(root);
    ASSERT_EQ(root->width, 640);
    EXPECT_EQ(maxDifference(crop(*root, 300, 225, 40, 30), expected), 0);
    EXPECT_EQ(maxDifference(crop(*root, 0, 0, 1, 1), RgbImage{1, 1, {0, 0, 0}}), 0);

    window->runCommand(command::WallpaperTiled);
    root = rootWindow();
    ASSERT_TRUE(root);
    EXPECT_EQ(maxDifference(crop(*root, 0, 0, 40, 30), expected), 0);
    EXPECT_EQ(maxDifference(crop(*root, 600, 450, 40, 30), expected), 0);

    // The wallpaper file and the registry store's values.
    EXPECT_EQ(maxDifference(*magickDecode(wallpaperPath()), expected), 0);
    SettingsFile store(configDirectory() + "/" + registry::kStoreFileName);
    EXPECT_EQ(store.readText(registry::Wallpaper), wallpaperPath());
    EXPECT_EQ(store.readText(registry::TileWallpaper), "1");
    EXPECT_EQ(store.readText(registry::PrevWallpaper), "");
    window->runCommand(command::PreviousWallpaper);
    ASSERT_EQ(messages(), std::vector<std::string>{"No previous wallpaper !"});
}

TEST_F(WallpaperTest, GsettingsDesktopsGetTheirKeysAndAFreshSpellingForTheSameFile)
{
    struct Case {
        const char* desktop;
        const char* schema;
        const char* pictureKey;
        bool uri;
    };
    const Case cases[] = {
        {"ubuntu:GNOME", "org.gnome.desktop.background", "picture-uri", true},
        {"MATE", "org.mate.background", "picture-filename", false},
        {"X-Cinnamon", "org.cinnamon.desktop.background", "picture-uri", true},
    };
    makeDirectories(configDirectory());
    ASSERT_TRUE(writeBmp(wallpaperPath(), trueColorPicture(2, 2, stripes)));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.desktop);
        if (runCommand(std::string("gsettings list-keys ") + c.schema + " >/dev/null 2>&1") != 0) {
            ADD_FAILURE() << c.schema << " is not installed";
            continue;
        }
        const DesktopWallpaper desktop(SessionInfo{c.desktop, "x11", true, false});
        Result<std::string> given = desktop.apply(wallpaperPath(), WallpaperStyle::Tiled, "");
        ASSERT_TRUE(given) << given.failure().detail;
        EXPECT_EQ(*given, wallpaperPath());
        const std::string get = std::string("gsettings get ") + c.schema + " ";
        const std::string picture = c.uri ? uriOfWallpaper() : wallpaperPath();
        EXPECT_EQ(toolOutput(get + c.pictureKey), "'" + picture + "'");
        EXPECT_EQ(toolOutput(get + "picture-options"), "'wallpaper'");
        if (std::string(c.schema) == "org.gnome.desktop.background") {
            EXPECT_EQ(toolOutput(get + "picture-uri-dark"), "'" + picture + "'");
        }

        // The same file again: another spelling, so the desktop reloads it.
        given = desktop.apply(wallpaperPath(), WallpaperStyle::Centred, "");
        ASSERT_TRUE(given);
        EXPECT_EQ(*given, configDirectory() + "/./Pictorand32 Wallpaper.bmp");
        EXPECT_EQ(toolOutput(get + "picture-options"), "'centered'");
        ASSERT_TRUE(desktop.shown());
        EXPECT_EQ(desktop.shown()->path, *given);
    }
}

TEST_F(WallpaperTest, XfceGetsEveryMonitorAndWorkspace)
{
    REQUIRE_THAT(missingSessionBus());
    REQUIRE_TOOLS("xfconf-query");
    const std::string channel = "xfconf-query -c xfce4-desktop ";
    const char* configured[] = {"/backdrop/screen0/monitorHDMI-1/workspace0/last-image",
                                "/backdrop/screen0/monitorHDMI-1/workspace1/last-image"};
    for (const char* property : configured)
        ASSERT_EQ(runCommand(channel + "-n -t string -s /old.png -p " + property), 0);
    const DesktopWallpaper desktop(SessionInfo{"XFCE", "x11", true, false});
    ASSERT_TRUE(desktop.shown());
    EXPECT_EQ(desktop.shown()->path, "/old.png");
    Result<std::string> given = desktop.apply("/new pictures/w.bmp", WallpaperStyle::Centred, "");
    ASSERT_TRUE(given) << given.failure().detail;

    std::string listed = toolOutput(channel + "-l");
    int images = 0;
    for (size_t at = 0; (at = listed.find("/last-image", at)) != std::string::npos; ++at) {
        const size_t start = listed.rfind('\n', at) + 1;
        const std::string property = listed.substr(start, at - start);
        EXPECT_EQ(toolOutput(channel + "-p " + property + "/last-image"), "/new pictures/w.bmp");
        EXPECT_EQ(toolOutput(channel + "-p " + property + "/image-style"), "1");
        ++images;
    }
    // Both configured workspaces, and the X server's own monitor.
    EXPECT_EQ(images, 3);
}

TEST_F(WallpaperTest, PlasmaIsSentAScriptForEveryDesktop)
{
    REQUIRE_THAT(missingSessionBus());
    BusStandIn<PlasmaShellStandIn> standIn("plasma-stand-in", "org.kde.plasmashell", "/PlasmaShell");
    ASSERT_TRUE(standIn.registered());

    const DesktopWallpaper desktop(SessionInfo{"KDE", "wayland", false, true});
    Result<std::string> given = desktop.apply("/a b/w.bmp", WallpaperStyle::Tiled, "");
    EXPECT_TRUE(given) << given.failure().detail;
    // Given last time: another spelling now.
    Result<std::string> again = desktop.apply("/a b/w.bmp", WallpaperStyle::Centred, "/a b/w.bmp");
    EXPECT_TRUE(again);
    const QStringList scripts = standIn->scripts();
    ASSERT_EQ(scripts.size(), 2);
    EXPECT_TRUE(scripts[0].contains("d.writeConfig(\"Image\", \"file:///a%20b/w.bmp\");"));
    EXPECT_TRUE(scripts[0].contains("d.writeConfig(\"FillMode\", 3);"));
    EXPECT_TRUE(scripts[1].contains("\"file:///a%20b/./w.bmp\""));
    EXPECT_TRUE(scripts[1].contains("d.writeConfig(\"FillMode\", 6);"));
}

// The real desktop portal. A frontend that knows only the gtk backend (as on
// a wlroots session, whose own backend sets no wallpaper either) has no
// Wallpaper interface; the one D-Bus starts for the installed backends hands
// the file to GNOME's, which copies it beside the settings and points
// org.gnome.desktop.background at the copy.
TEST_F(WallpaperTest, PortalHandsTheFileToItsBackendOrSaysThereIsNone)
{
    REQUIRE_THAT(missingX11()); // the backends are GTK programs
    REQUIRE_THAT(missingSessionBus());
    const std::string frontendProgram = "/usr/libexec/xdg-desktop-portal";
    const std::string installedPortals = "/usr/share/xdg-desktop-portal/portals/";
    REQUIRE_FILE(frontendProgram, "xdg-desktop-portal");
    REQUIRE_FILE(installedPortals + "gtk.portal", "xdg-desktop-portal-gtk");
    REQUIRE_FILE(installedPortals + "gnome.portal", "xdg-desktop-portal-gnome");
    REQUIRE_TOOLS("gsettings", "identify", "convert");
    const DesktopWallpaper desktop(SessionInfo{"sway", "wayland", false, true});
    const std::string path = dir.file("w.bmp");
    const ImageBlock picture = distinctPixels(5, 4);
    ASSERT_TRUE(writeBmp(path, picture));
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString portal = "org.freedesktop.portal.Desktop";
    {
        const std::string portals = dir.file("portals");
        makeDirectories(portals);
        std::filesystem::copy_file(installedPortals + "gtk.portal", portals + "/gtk.portal");
        QProcess frontend;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DESKTOP_PORTAL_DIR", QString::fromStdString(portals));
        frontend.setProcessEnvironment(environment);
        frontend.start(QString::fromStdString(frontendProgram), {});
        ASSERT_TRUE(QTest::qWaitFor([&] { return bus.interface()->isServiceRegistered(portal).value(); }, 10000));
        Result<std::string> given = desktop.apply(path, WallpaperStyle::Centred, "");
        ASSERT_FALSE(given);
        EXPECT_EQ(given.failure().detail.rfind("Can't set the wallpaper of sway !", 0), 0u);
        EXPECT_NE(given.failure().detail.find(kNoWallpaperBackend), std::string::npos) << given.failure().detail;
        frontend.terminate();
        ASSERT_TRUE(frontend.waitForFinished(5000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !bus.interface()->isServiceRegistered(portal).value(); }, 5000));
    }

    // The first request asks the user (the gtk backend's Access dialog);
    // this user said yes before, which the permission store keeps.
    const QString store = "org.freedesktop.impl.portal.PermissionStore";
    QDBusMessage grant =
        QDBusMessage::createMethodCall(store, "/org/freedesktop/impl/portal/PermissionStore", store, "SetPermission");
    grant << QString("wallpaper") << true << QString("wallpaper") << QString() << QStringList{"yes"};
    const QDBusMessage granted = bus.call(grant);
    ASSERT_NE(granted.type(), QDBusMessage::ErrorMessage) << granted.errorMessage().toStdString();
    Result<std::string> given = desktop.apply(path, WallpaperStyle::Centred, "");
    ASSERT_TRUE(given) << given.failure().detail;
    EXPECT_EQ(*given, path);
    const std::string get = "gsettings get org.gnome.desktop.background ";
    const std::string pictureUri = gvariantStringValue(toolOutput(get + "picture-uri"));
    EXPECT_EQ(gvariantStringValue(toolOutput(get + "picture-uri-dark")), pictureUri);
    // Version 43 of the backend names its copy by a path, not a file: URI.
    const std::string copy = pictureUri.rfind("file://", 0) == 0 ? pathOfFileUri(pictureUri) : pictureUri;
    EXPECT_NE(copy, path);
    std::optional<RgbImage> shown = magickDecode(copy);
    ASSERT_TRUE(shown) << pictureUri;
    EXPECT_EQ(maxDifference(*shown, blockToRgb(picture)), 0);
}

TEST_F(WallpaperTest, DesktopThatCannotBeSetIsNamed)
{
    const DesktopWallpaper desktop(SessionInfo{"Lumina", "tty", false, false});
    Result<std::string> given = desktop.apply(wallpaperPath(), WallpaperStyle::Centred, "");
    ASSERT_FALSE(given);
    EXPECT_EQ(given.failure().detail.rfind("Can't set the wallpaper of Lumina !", 0), 0u);
}

} // namespace
} // namespace testing
} // namespace pictorand

#include "wallpaper_test.moc"
