// The display's profile on the private X server, set on the root window as
// a colour manager sets it: the viewer shows pictures in its colours, as
// transicc converts them, hands them on in sRGB, and shows them in sRGB
// again once it is taken away.

#include "shell/core/commands.h"
#include "shell/picture_view.h"
#include "shell/window_capture.h"
#include "tests/desktop/desktop_fixture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

#include <xcb/xcb.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace pictorand::testing {
namespace {

const std::string kAdobeRgb = std::string(kGhostscriptProfiles) + "a98.icc";

// Sets the root window's _ICC_PROFILE, or deletes it for no bytes, through
// a connection of its own.
void setRootProfile(const std::vector<uint8_t>& profile)
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(c));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const char* name = "_ICC_PROFILE";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    ASSERT_TRUE(atom);
    if (profile.empty())
        xcb_delete_property(c, root, atom->atom);
    else
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, atom->atom, XCB_ATOM_CARDINAL, 8,
                            static_cast<uint32_t>(profile.size()), profile.data());
    std::free(atom);
    // A round trip: the change is made before the test goes on.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    xcb_disconnect(c);
}

// Six flat squares of 8 x 8.
constexpr uint32_t kColours[] = {0xC81E1E, 0x1EC828, 0x283CE6, 0xF0DC14, 0x808080, 0x10D0E0};
uint32_t squares(int x, int y) { return kColours[(y / 8) * 3 + x / 8]; }

// What transicc makes of each colour, sRGB to `profile`, as a picture of
// the squares.
std::optional<RgbImage> convertedByTransicc(const std::string& profile)
{
    std::string input;
    for (uint32_t colour : kColours)
        input += std::to_string(colour >> 16) + " " + std::to_string(colour >> 8 & 0xFF) + " "
            + std::to_string(colour & 0xFF) + "\n";
    std::string output;
    if (runCommand("printf '" + input + "' | transicc -n -i '*sRGB' -o " + shellQuote(profile) + " 2>/dev/null",
                   &output)
        != 0)
        return std::nullopt;
    std::istringstream lines(output);
    std::vector<uint32_t> converted;
    double r, g, b;
    while (converted.size() < std::size(kColours) && lines >> r >> g >> b)
        converted.push_back(uint32_t(std::lround(r)) << 16 | uint32_t(std::lround(g)) << 8 | uint32_t(std::lround(b)));
    if (converted.size() != std::size(kColours))
        return std::nullopt;
    RgbImage image{24, 16, std::vector<uint8_t>(24 * 16 * 3)};
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x) {
            const uint32_t colour = converted[size_t((y / 8) * 3 + x / 8)];
            uint8_t* pixel = image.at(x, y);
            pixel[0] = uint8_t(colour >> 16);
            pixel[1] = uint8_t(colour >> 8);
            pixel[2] = uint8_t(colour);
        }
    return image;
}

QByteArray bytesOf(const std::vector<uint8_t>& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

TEST_F(DesktopTest, PicturesAreShownInTheDisplayProfilesColoursAsItChanges)
{
    REQUIRE_THAT(missingX11());
    REQUIRE_TOOLS("transicc", "xclip");
    REQUIRE_FILE(kAdobeRgb, "libgs-common");
    const std::optional<RgbImage> adobe = convertedByTransicc(kAdobeRgb);
    ASSERT_TRUE(adobe);
    const ImageBlock picture = trueColorPicture(24, 16, squares);
    const RgbImage plain = blockToRgb(picture);
    SilentUserInterface silent;
    for (const char* name : {"first.bmp", "second.bmp"})
        ASSERT_TRUE(SaveImage(picture, silent, dir.file(name), false));

    setRootProfile(readFile(kAdobeRgb));
    start();
    // Dropped: its folder is the one stepped through.
    window->dropFiles({QString::fromStdString(dir.file("first.bmp"))});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    // What is painted, on the X server's own screen.
    auto painted = [&] {
        QTest::qWait(50);
        Result<ImageBlock> shown = captureWindow(window->view()->viewport(), window->pictureRect());
        return shown ? blockToRgb(*shown) : RgbImage{};
    };
    auto shows = [&](const RgbImage& expected) {
        return QTest::qWaitFor([&] { return maxDifference(painted(), expected) <= 1; }, 5000);
    };
    EXPECT_TRUE(shows(*adobe)) << maxDifference(painted(), *adobe);
    // Saved, the picture is in sRGB again: a file never carries the
    // display's numbers.
    dialogs.results.push_back(FileDialogResult{dir.file("saved.bmp"), 3});
    window->runCommand(command::SaveAs);
    const std::optional<RgbImage> saved = magickDecode(dir.file("saved.bmp"));
    ASSERT_TRUE(saved);
    EXPECT_LE(maxDifference(*saved, plain), 2); // two roundings to 8 bits
    // So is one turned round, and one handed to another program.
    for (int turn = 0; turn < 4; ++turn)
        window->runCommand(command::RotateRight);
    EXPECT_TRUE(shows(*adobe));
    dialogs.results.push_back(FileDialogResult{dir.file("turned.bmp"), 3});
    window->runCommand(command::SaveAs);
    EXPECT_LE(maxDifference(magickDecode(dir.file("turned.bmp")).value_or(RgbImage{}), plain), 2);
    window->setWindowTitle("copying"); // an X event to take the selection at
    QTest::qWait(50);
    window->runCommand(command::Copy);
    const std::optional<QByteArray> copied = runServing("xclip", {"-selection", "clipboard", "-t", "image/png", "-o"});
    ASSERT_TRUE(copied);
    writeFile(dir.file("copied.png"), std::vector<uint8_t>(copied->begin(), copied->end()));
    EXPECT_LE(maxDifference(magickDecode(dir.file("copied.png")).value_or(RgbImage{}), plain), 2);
    // Another program's picture is taken for sRGB, as an untagged file is.
    QSignalSpy offered(QGuiApplication::clipboard(), &QClipboard::dataChanged);
    ASSERT_TRUE(runServing("xclip", {"-selection", "clipboard", "-t", "image/bmp", "-i"},
                           bytesOf(readFile(dir.file("first.bmp")))));
    ASSERT_TRUE(offered.count() > 0 || offered.wait(5000));
    window->runCommand(command::Paste);
    EXPECT_EQ(window->currentImage().path, kClipboardPath);
    EXPECT_TRUE(shows(*adobe)) << maxDifference(painted(), *adobe);
    QGuiApplication::clipboard()->clear();
    window->dropFiles({QString::fromStdString(dir.file("first.bmp"))});
    ASSERT_EQ(window->currentImage().path, dir.file("first.bmp"));
    // The neighbour read ahead for Adobe RGB is read again for sRGB.
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->readAhead() && window->readAhead()->ready(dir.file("second.bmp")); }, 5000));

    setRootProfile({});
    EXPECT_TRUE(shows(plain)) << maxDifference(painted(), plain);
    window->runCommand(command::NextFile);
    EXPECT_EQ(window->currentImage().path, dir.file("second.bmp"));
    EXPECT_TRUE(shows(plain)) << maxDifference(painted(), plain);

    setRootProfile(readFile(kAdobeRgb));
    EXPECT_TRUE(shows(*adobe)) << maxDifference(painted(), *adobe);
    setRootProfile({});
}

} // namespace
} // namespace pictorand::testing
