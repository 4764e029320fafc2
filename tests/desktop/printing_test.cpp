// Printing to a PDF file through Qt's print system, the pages rasterised by
// poppler's pdftoppm and counted by pdfinfo.

#include "platform/formatted_text.h"
#include "shell/core/commands.h"
#include "shell/desktop_commands.h"
#include "shell/dialogs/print_options_dialog.h"
#include "tests/desktop/desktop_fixture.h"

#include <QLineEdit>
#include <QPrinter>
#include <QRadioButton>

#include <array>
#include <cstdio>

namespace pictorand::testing {
namespace {

constexpr double kMillimetresPerInch = 25.4;
constexpr int kRasterDpi = 100;
// The printable area: A4 less these margins.
constexpr double kLeftMm = 10, kTopMm = 15, kRightMm = 10, kBottomMm = 10;

class PrintingTest : public DesktopTest {
protected:
    void SetUp() override
    {
        DesktopTest::SetUp();
        REQUIRE_TOOLS("pdftoppm", "pdfinfo");
        savedPrinterChooser = DesktopCommands::printerChooser;
        savedOptionsChooser = DesktopCommands::printOptionsChooser;
        DesktopCommands::printerChooser = [this](QPrinter& printer, QWidget*) {
            if (cancelPrinter)
                return false;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(QString::fromStdString(pdf));
            printer.setPageSize(QPageSize(QPageSize::A4));
            printer.setPageMargins(QMarginsF(kLeftMm, kTopMm, kRightMm, kBottomMm), QPageLayout::Millimeter);
            return true;
        };
        DesktopCommands::printOptionsChooser = [this](QWidget*) { return options; };
    }
    void TearDown() override
    {
        if (savedPrinterChooser) {
            DesktopCommands::printerChooser = savedPrinterChooser;
            DesktopCommands::printOptionsChooser = savedOptionsChooser;
        }
        DesktopTest::TearDown();
    }

    int pageCount()
    {
        std::string info;
        if (runCommand("pdfinfo " + shellQuote(pdf), &info) != 0)
            return -1;
        const size_t at = info.find("Pages:");
        return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
    }

    // The box of the page's non-white pixels in millimetres from the
    // sheet's corner: left, top, width, height.
    std::array<double, 4> inkBox(int page)
    {
        const std::string stem = dir.file("page");
        const std::string command = formatted("pdftoppm -r %d -f %d -l %d -singlefile %s %s", kRasterDpi, page, page,
                                              shellQuote(pdf).c_str(), shellQuote(stem).c_str());
        EXPECT_EQ(runCommand(command), 0);
        std::optional<RgbImage> image = magickDecode(stem + ".ppm");
        if (!image)
            return {};
        int left = image->width, top = image->height, right = -1, bottom = -1;
        for (int y = 0; y < image->height; ++y)
            for (int x = 0; x < image->width; ++x) {
                const uint8_t* p = image->at(x, y);
                if (p[0] < 128 || p[1] < 128 || p[2] < 128) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
            }
        const double mm = kMillimetresPerInch / kRasterDpi;
        return {left * mm, top * mm, (right - left + 1) * mm, (bottom - top + 1) * mm};
    }

    std::string pdf = dir.file("out.pdf");
    PrintOptions options;
    bool cancelPrinter = false;
    std::function<bool(QPrinter&, QWidget*)> savedPrinterChooser;
    std::function<std::optional<PrintOptions>(QWidget*)> savedOptionsChooser;
};

uint32_t blue(int, int) { return 0x2040C0; }

TEST_F(PrintingTest, EachPlacementLandsOnTheSheetWithinOneMillimetre)
{
    // The printable area of A4 here is 190 x 272 mm, at 1200 printer dpi.
    const double printableWidth = 210 - kLeftMm - kRightMm;
    const double printableHeight = 297 - kTopMm - kBottomMm;
    const double pixelMm = kMillimetresPerInch / 1200;
    struct Case {
        PrintPlacement placement;
        int width, height;
        double scaleX, scaleY;
        double widthMm, heightMm;
    };
    const Case cases[] = {
        {PrintPlacement::HorizontalFit, 600, 300, 1, 1, printableWidth, printableWidth / 2},
        {PrintPlacement::VerticalFit, 300, 600, 1, 1, printableHeight / 2, printableHeight},
        {PrintPlacement::Stretch, 600, 300, 1, 1, printableWidth, printableHeight},
        // Printer pixels: 1200 x 300 of them.
        {PrintPlacement::Scale, 600, 300, 2.0, 1.0, 1200 * pixelMm, 300 * pixelMm},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.placement));
        startWith(trueColorPicture(c.width, c.height, blue));
        options = PrintOptions{c.placement, c.scaleX, c.scaleY};
        std::remove(pdf.c_str());
        window->runCommand(command::Print);
        ASSERT_EQ(pageCount(), 1);
        const auto [left, top, width, height] = inkBox(1);
        EXPECT_NEAR(left, kLeftMm, 1.0);
        EXPECT_NEAR(top, kTopMm, 1.0);
        EXPECT_NEAR(width, c.widthMm, 1.0);
        EXPECT_NEAR(height, c.heightMm, 1.0);
    }
    EXPECT_TRUE(ui.messages.empty()); // Print does not report the job
}

TEST_F(PrintingTest, AllPagesOfAThreePageTiffOnePerSheet)
{
    REQUIRE_TOOLS("convert");
    const std::string tiff = dir.file("pages.tif");
    ASSERT_EQ(runCommand("convert -size 60x40 xc:red xc:lime xc:blue -depth 8 " + shellQuote(tiff)), 0);
    start();
    ASSERT_TRUE(window->openFile(tiff));
    ASSERT_TRUE(window->currentImage().multiPage);
    window->runCommand(command::PrintAllPages);
    EXPECT_EQ(pageCount(), 3);
    EXPECT_EQ(messages(), std::vector<std::string>{"Printer spooling ready !"});
    EXPECT_EQ(ui.commands, std::vector<int>{command::FirstPage});

    // Cancelling the printer dialog is a failed job, and the first page
    // still comes back.
    cancelPrinter = true;
    ui.messages.clear();
    window->runCommand(command::PrintAllPages);
    EXPECT_EQ(messages(), std::vector<std::string>{"Print error !"});
    EXPECT_EQ(ui.commands.size(), 2u);
}

TEST(PrintOptionsDialog, ScaleFieldsFollowTheButtonClickedLast)
{
    PrintOptionsDialog dialog(nullptr);
    auto* scale = dialog.findChild<QRadioButton*>("scale");
    auto* vertical = dialog.findChild<QRadioButton*>("vertical");
    auto* scaleX = dialog.findChild<QLineEdit*>("scaleX");
    auto* scaleY = dialog.findChild<QLineEdit*>("scaleY");
    ASSERT_TRUE(scale && vertical && scaleX && scaleY);
    EXPECT_EQ(dialog.options().placement, PrintPlacement::HorizontalFit);
    EXPECT_FALSE(scaleX->isEnabled());
    scale->click();
    EXPECT_TRUE(scaleX->isEnabled());
    scaleX->setText("  2.5x");
    scaleY->clear(); // an empty field keeps 1.00
    EXPECT_EQ(dialog.options().placement, PrintPlacement::Scale);
    EXPECT_DOUBLE_EQ(dialog.options().scaleX, 2.5);
    EXPECT_DOUBLE_EQ(dialog.options().scaleY, 1.0);
    vertical->click();
    EXPECT_FALSE(scaleY->isEnabled());
    EXPECT_EQ(dialog.options().placement, PrintPlacement::VerticalFit);
}

} // namespace
} // namespace pictorand::testing
