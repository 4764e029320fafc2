// The placements of the Print Options dialog and the run over a file's pages.

#include "shell/core/print_layout.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

TEST(PrintTarget, PlacementsOnTheDefiningExamples)
{
    const PrintableArea equal{4800, 6600, 600, 600};
    const PrintableArea wideDots{4800, 6600, 1200, 600};
    struct Case {
        const char* name;
        int w, h;
        PrintableArea area;
        PrintOptions options;
        PrintRect expected;
    };
    const Case cases[] = {
        {"square across the width", 100, 100, equal, {PrintPlacement::HorizontalFit}, {4790, 4800}},
        {"tall runs off the bottom", 100, 300, equal, {PrintPlacement::HorizontalFit}, {4790, 14400}},
        {"aspect kept on unequal dots", 100, 100, wideDots, {PrintPlacement::HorizontalFit}, {4790, 2400}},
        {"page height", 200, 100, equal, {PrintPlacement::VerticalFit}, {13200, 6590}},
        {"scale doubles the width only", 30, 20, equal, {PrintPlacement::Scale, 2.0, 1.0}, {60, 20}},
        {"negative scale draws nothing", 30, 20, equal, {PrintPlacement::Scale, -1.0, 1.0}, {0, 20}},
        {"stretch", 30, 20, equal, {PrintPlacement::Stretch}, {4790, 6590}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(printTarget(c.w, c.h, c.area, c.options), c.expected) << c.name;
}

TEST(ParseScale, ReadsTheLeadingNumber)
{
    const std::pair<const char*, double> cases[] = {
        {"1.00", 1.0}, {"  2.5x", 2.5}, {"-0.5", -0.5}, {"+3", 3.0}, {"abc", 0.0}, {"", 0.0}, {"1e999", 0.0},
    };
    for (const auto& [text, value] : cases)
        EXPECT_DOUBLE_EQ(parseScale(text), value) << text;
}

class CountingSink : public PageSink {
public:
    bool printPage(const ImageBlock&) override { return ++pages != failAt; }
    int pages = 0;
    int failAt = 0;
};

TEST(PrintPages, UnreadablePagesAreNamedAndAFailedSheetStopsTheJob)
{
    auto reader = [](int page) -> Result<ImageBlock> {
        if (page == 1)
            return Failure{Reason::CorruptData, "bad strip"};
        return ImageBlock::create(1, 1, 24, 0);
    };
    CountingSink sink;
    PagesPrinted run = printPages(4, reader, sink);
    EXPECT_EQ(run.printed, 3);
    PrintReport report = printAllPagesReport(run, true);
    EXPECT_TRUE(report.failed);
    EXPECT_EQ(report.text, "Print error !\n\nPage 2 : bad strip");

    CountingSink failing;
    failing.failAt = 2;
    run = printPages(4, reader, failing);
    EXPECT_TRUE(run.pageFailed);
    EXPECT_EQ(failing.pages, 2);
}

} // namespace
} // namespace pictorand
