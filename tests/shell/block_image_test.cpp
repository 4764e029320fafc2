// Painting 24-bit blocks at 100 %: the direct path into a raster image must
// give exactly what Qt's own drawing gives, wherever the picture lands and
// whatever part of it is to be painted.

#include "tools/painting/block_image.h"

#include <QImage>
#include <QPainter>
#include <QRegion>
#include <QWidget>
#include <gtest/gtest.h>

#include <vector>

namespace pictorand {
namespace {

constexpr QRgb kMarker = 0xFF123456;

// Odd width, so rows are padded and the last pixels of a row fall outside
// the four-at-a-time steps; every pixel has its own colour.
ImageBlock patternBlock(int width = 37, int height = 23)
{
    ImageBlock block = ImageBlock::create(width, height, 24, 0);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = block.topRow(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<uint8_t>(x * 7 + y);          // blue
            row[3 * x + 1] = static_cast<uint8_t>(y * 11 + 3);     // green
            row[3 * x + 2] = static_cast<uint8_t>(x * 5 + y * 13); // red
        }
    }
    return block;
}

QRgb expectedPixel(int x, int y)
{
    return qRgb((x * 5 + y * 13) & 0xFF, (y * 11 + 3) & 0xFF, (x * 7 + y) & 0xFF);
}

// What Qt's own drawing gives: the same call on a surface the direct path
// does not take (24-bit), brought to 32 bits.
QImage paintedByQt(const ImageBlock& block, QSize surface, const QRect& target)
{
    QImage image(surface, QImage::Format_RGB888);
    image.fill(kMarker);
    std::vector<uint8_t> scratch;
    {
        QPainter painter(&image);
        drawBlock(painter, blockImage(block, {}, scratch), target);
    }
    return image.convertToFormat(QImage::Format_RGB32);
}

QImage paintedDirect(const ImageBlock& block, QSize surface, const QRect& target, QImage::Format format)
{
    QImage image(surface, format);
    image.fill(kMarker);
    std::vector<uint8_t> scratch;
    {
        QPainter painter(&image);
        drawBlock(painter, blockImage(block, {}, scratch), target);
    }
    return image.convertToFormat(QImage::Format_RGB32);
}

TEST(BlockImage, OneToOneMatchesQtWhereverThePictureLands)
{
    const ImageBlock block = patternBlock();
    const QSize surface(50, 40);
    const QRect targets[] = {
        {0, 0, 37, 23},    // top left
        {5, 7, 37, 23},    // inside
        {-9, -4, 37, 23},  // scrolled: only the lower right part shows
        {30, 30, 37, 23},  // running off the right and bottom edges
        {60, 0, 37, 23},   // wholly outside
    };
    for (const QRect& target : targets) {
        const QImage expected = paintedByQt(block, surface, target);
        for (QImage::Format format :
             {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied}) {
            const QImage direct = paintedDirect(block, surface, target, format);
            EXPECT_EQ(direct, expected) << "target " << target.x() << "," << target.y() << " format " << format;
        }
        // And the pixels are the picture's, top row at the top.
        const QImage direct = paintedDirect(block, surface, target, QImage::Format_RGB32);
        for (int y = 0; y < surface.height(); ++y)
            for (int x = 0; x < surface.width(); ++x) {
                const QPoint inPicture = QPoint(x, y) - target.topLeft();
                const QRgb want = target.contains(QPoint(x, y)) ? expectedPixel(inPicture.x(), inPicture.y())
                                                                : kMarker;
                ASSERT_EQ(direct.pixel(x, y), want) << x << "," << y;
            }
    }
}

TEST(BlockImage, PainterStateOtherThanPlainGoesThroughQt)
{
    const ImageBlock block = patternBlock();
    std::vector<uint8_t> scratch;
    const QImage upsideDown = blockImage(block, {}, scratch);

    // A clip: only the clipped part is painted.
    QImage clipped(50, 40, QImage::Format_RGB32);
    clipped.fill(kMarker);
    {
        QPainter painter(&clipped);
        painter.setClipRect(QRect(10, 10, 5, 5));
        drawBlock(painter, upsideDown, QRect(0, 0, 37, 23));
    }
    EXPECT_EQ(clipped.pixel(10, 10), expectedPixel(10, 10));
    EXPECT_EQ(clipped.pixel(14, 14), expectedPixel(14, 14));
    EXPECT_EQ(clipped.pixel(9, 10), kMarker);
    EXPECT_EQ(clipped.pixel(15, 14), kMarker);

    // Half opacity blends with what was there.
    QImage faded(50, 40, QImage::Format_RGB32);
    faded.fill(Qt::black);
    {
        QPainter painter(&faded);
        painter.setOpacity(0.5);
        drawBlock(painter, upsideDown, QRect(0, 0, 37, 23));
    }
    EXPECT_NEAR(qRed(faded.pixel(20, 10)), qRed(expectedPixel(20, 10)) / 2, 2);

    // A translation by a fraction, a scale: Qt's drawing, still the picture.
    QImage scaled(80, 50, QImage::Format_RGB32);
    scaled.fill(kMarker);
    {
        QPainter painter(&scaled);
        painter.scale(2, 2);
        drawBlock(painter, upsideDown, QRect(0, 0, 37, 23));
    }
    EXPECT_EQ(scaled.pixel(0, 0), expectedPixel(0, 0));
    EXPECT_EQ(scaled.pixel(73, 45), expectedPixel(36, 22));
}

// A widget that paints the block at 100 %, as the picture view does.
class BlockWidget : public QWidget {
public:
    explicit BlockWidget(const ImageBlock& block, QWidget* parent = nullptr)
        : QWidget(parent), m_image(blockImage(block, {}, m_scratch))
    {
        resize(40, 30);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        drawBlock(painter, m_image, QRect(1, 2, m_image.width(), m_image.height()));
    }

private:
    std::vector<uint8_t> m_scratch;
    QImage m_image;
};

TEST(BlockImage, OnlyTheRegionToRepaintIsPainted)
{
    const ImageBlock block = patternBlock();
    BlockWidget widget(block);
    QImage target(40, 30, QImage::Format_RGB32);
    target.fill(kMarker);
    // The region's bounding box lands at the target offset (0, 0): widget
    // point (3, 4) at target (0, 0).
    const QRegion region = QRegion(QRect(3, 4, 6, 5)) | QRegion(QRect(20, 10, 4, 8));
    widget.render(&target, QPoint(), region, QWidget::RenderFlags());
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const QPoint inWidget = QPoint(x, y) + QPoint(3, 4);
            const QRgb want = region.contains(inWidget) ? expectedPixel(inWidget.x() - 1, inWidget.y() - 2) : kMarker;
            ASSERT_EQ(target.pixel(x, y), want) << x << "," << y;
        }
    // Drawn at an offset in the target, as a window's backing store holds
    // the view below the menu bar.
    QImage offset(60, 50, QImage::Format_RGB32);
    offset.fill(kMarker);
    widget.render(&offset, QPoint(10, 15), QRegion(), QWidget::RenderFlags());
    EXPECT_EQ(offset.pixel(11, 17), expectedPixel(0, 0));
    EXPECT_EQ(offset.pixel(11 + 36, 17 + 22), expectedPixel(36, 22));
}

TEST(BlockImage, APictureLargerThanItsWidgetStaysInsideIt)
{
    const ImageBlock block = patternBlock();
    QWidget parent;
    parent.resize(60, 50);
    BlockWidget child(block, &parent);
    child.setGeometry(10, 10, 20, 15);
    QImage target(60, 50, QImage::Format_RGB32);
    target.fill(kMarker);
    parent.render(&target, QPoint(), QRegion(), QWidget::DrawChildren);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 60; ++x) {
            const QRect childArea(10, 10, 20, 15);
            // Inside the child: the picture drawn at (1, 2) of the child.
            const QPoint inChild = QPoint(x, y) - childArea.topLeft();
            const bool picture = childArea.contains(x, y) && inChild.x() >= 1 && inChild.y() >= 2;
            if (picture) {
                ASSERT_EQ(target.pixel(x, y), expectedPixel(inChild.x() - 1, inChild.y() - 2)) << x << "," << y;
            } else if (!childArea.contains(x, y)) {
                ASSERT_EQ(target.pixel(x, y), kMarker) << x << "," << y;
            }
        }
}

} // namespace
} // namespace pictorand
