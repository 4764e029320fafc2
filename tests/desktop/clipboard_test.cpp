// Copy and Paste against another X11 client (xclip) on the private X server.

#include "core/byte_order.h"
#include "shell/core/commands.h"
#include "shell/desktop_commands.h"
#include "tests/desktop/desktop_fixture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

namespace pictorand::testing {
namespace {

class ClipboardTest : public DesktopTest {
protected:
    void SetUp() override
    {
        DesktopTest::SetUp();
        REQUIRE_THAT(missingX11());
        REQUIRE_TOOLS("xclip");
    }
    void TearDown() override
    {
        // A serving xclip leaves once it loses the selection.
        QGuiApplication::clipboard()->clear();
        DesktopTest::TearDown();
    }

    // Qt takes the selection with the time of the last X event it saw, and
    // the server refuses a time older than the current owner's. A user's key
    // or click would be that event; a property change of the window stands in.
    void runAsUser(int id)
    {
        window->setWindowTitle(QString::number(++m_stamp));
        QTest::qWait(50);
        window->runCommand(id);
    }

    // Another program takes the clipboard with `bytes` as `type`.
    void offer(const QByteArray& bytes, const char* type)
    {
        // xclip serves from a process of its own, which may take the
        // selection after the one started here has ended: wait until this
        // program has heard of the new owner.
        QSignalSpy changed(QGuiApplication::clipboard(), &QClipboard::dataChanged);
        ASSERT_TRUE(runServing("xclip", {"-selection", "clipboard", "-t", type, "-i"}, bytes));
        ASSERT_TRUE(changed.count() > 0 || changed.wait(5000));
    }
    std::optional<QByteArray> fetch(const char* type)
    {
        return runServing("xclip", {"-selection", "clipboard", "-t", type, "-o"});
    }
    RgbImage decodedByMagick(const QByteArray& bytes, const char* name)
    {
        const std::string path = dir.file(name);
        writeFile(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));
        return magickDecode(path).value_or(RgbImage{});
    }

private:
    int m_stamp = 0;
};

uint32_t pattern(int x, int y) { return static_cast<uint32_t>(x * 40) << 16 | static_cast<uint32_t>(y * 50) << 8 | 0x35; }

TEST_F(ClipboardTest, CopiedPictureReadsBackInOtherProgramsAsPngAndBmp)
{
    const ImageBlock picture = trueColorPicture(6, 5, pattern);
    startWith(picture);
    runAsUser(command::Copy);
    std::optional<QByteArray> png = fetch("image/png");
    std::optional<QByteArray> bmp = fetch("image/bmp");
    ASSERT_TRUE(png && bmp);
    EXPECT_EQ(maxDifference(decodedByMagick(*png, "copy.png"), blockToRgb(picture)), 0);
    EXPECT_EQ(maxDifference(decodedByMagick(*bmp, "copy.bmp"), blockToRgb(picture)), 0);
}

TEST_F(ClipboardTest, PngCopiedElsewherePastesAsTheClipboardPicture)
{
    const std::string png = dir.file("other.png");
    ASSERT_EQ(runCommand("convert -size 7x5 gradient:red-blue -depth 8 " + shellQuote(png)), 0);
    std::vector<uint8_t> bytes = readFile(png);
    offer(QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())), "image/png");
    start();
    EXPECT_TRUE(DesktopCommands::clipboardHasImage());
    window->runCommand(command::Paste);
    ASSERT_TRUE(current());
    EXPECT_EQ(window->currentImage().path, kClipboardPath);
    EXPECT_EQ(maxDifference(blockToRgb(current()), *magickDecode(png)), 0);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ClipboardTest, TopDownBitFieldBitmapPastes)
{
    // A packed 32-bit bitmap as Windows programs offer it: 40-byte header,
    // three masks after it, rows from the top (negative height).
    const int width = 3, height = 2;
    QByteArray dib(40 + 12 + width * height * 4, '\0');
    auto* p = reinterpret_cast<uint8_t*>(dib.data());
    storeLE32(p, 40);
    storeLE32(p + 4, width);
    storeLE32(p + 8, static_cast<uint32_t>(-height));
    storeLE16(p + 12, 1);
    storeLE16(p + 14, 32);
    storeLE32(p + 16, 3); // bit fields
    storeLE32(p + 40, 0x00FF0000);
    storeLE32(p + 44, 0x0000FF00);
    storeLE32(p + 48, 0x000000FF);
    for (int i = 0; i < width * height; ++i)
        storeLE32(p + 52 + i * 4, pattern(i % width, i / width));
    offer(dib, "image/bmp");
    start();
    window->runCommand(command::Paste);
    ASSERT_TRUE(current());
    EXPECT_EQ(maxDifference(blockToRgb(current()), blockToRgb(trueColorPicture(width, height, pattern))), 0);
}

TEST_F(ClipboardTest, FailedPasteLeavesThePictureAsItWas)
{
    struct Case {
        const char* type;
        QByteArray bytes;
    };
    const Case cases[] = {{"UTF8_STRING", "just text"}, {"image/png", "\x89PNG\r\n\x1a\n broken"}};
    startWith(trueColorPicture(4, 4, pattern));
    const std::vector<uint8_t> before(current().data(), current().data() + current().size());
    const std::string path = window->currentImage().path;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        ui.messages.clear();
        offer(c.bytes, c.type);
        window->runCommand(command::Paste);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text.rfind("Can't paste from clipboard !", 0), 0u);
        ASSERT_TRUE(current());
        EXPECT_EQ(std::vector<uint8_t>(current().data(), current().data() + current().size()), before);
        EXPECT_EQ(window->currentImage().path, path);
    }
}

TEST_F(ClipboardTest, ClearClipboardEmptiesIt)
{
    startWith(trueColorPicture(4, 4, pattern));
    runAsUser(command::Copy);
    EXPECT_TRUE(window->commandEnabled(command::Paste));
    runAsUser(command::ClearClipboard);
    EXPECT_FALSE(window->commandEnabled(command::Paste));
    EXPECT_FALSE(fetch("image/png"));
}

} // namespace
} // namespace pictorand::testing
