// The viewer on a scaled X11 desktop: at 100 % one picture pixel is one
// pixel of the screen, read back from the X server.

#include "codecs/bmp/bmp.h"
#include "tests/desktop/desktop_fixture.h"

#include <cstdlib>

namespace pictorand::testing {
namespace {

TEST(ScaledDesktop, PicturePaintsPixelForPixel)
{
    REQUIRE_THAT(missingX11());
    REQUIRE_TOOLS("import", "convert");
    ScratchDir dir;
    const ImageBlock block = distinctPixels(40, 30);
    ASSERT_TRUE(writeBmp(dir.file("picture.bmp"), block));
    for (const char* scale : {"1", "1.5", "2"}) {
        SCOPED_TRACE(scale);
        ViewerProcess viewer(dir.file("picture.bmp"), {}, scale);
        ASSERT_TRUE(viewer.painted());
        EXPECT_TRUE(findPicture(screenShowing(std::getenv("DISPLAY"), blockToRgb(block), dir.file("screen.png")),
                                blockToRgb(block)));
    }
}

} // namespace
} // namespace pictorand::testing
