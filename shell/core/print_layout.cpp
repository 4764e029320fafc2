#include "shell/core/print_layout.h"

#include "platform/formatted_text.h"

#include <cmath>
#include <charconv>
#include <limits>

namespace pictorand {

namespace {

// Sides are worked out in floating point and truncated toward zero; a
// result beyond int (an absurd scale) is held at the limit rather than
// wrapping round.
int truncatedSide(double value)
{
    if (!(value > 0))
        return 0;
    if (value >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return static_cast<int>(value);
}

// Kept clear of the right and bottom edges by the fitting placements.
constexpr int kEdgeClearance = 10;

} // namespace

PrintRect printTarget(int w, int h, const PrintableArea& area, const PrintOptions& options)
{
    const double P = area.width;
    const double Q = area.height;
    if (w <= 0 || h <= 0)
        return {};
    switch (options.placement) {
    case PrintPlacement::HorizontalFit:
        return {area.width - kEdgeClearance, truncatedSide(h * area.dpiY * P / (w * area.dpiX))};
    case PrintPlacement::VerticalFit:
        return {truncatedSide(w * area.dpiX * Q / (h * area.dpiY)), area.height - kEdgeClearance};
    case PrintPlacement::Scale:
        return {truncatedSide(w * options.scaleX), truncatedSide(h * options.scaleY)};
    case PrintPlacement::Stretch:
        break;
    }
    return {area.width - kEdgeClearance, area.height - kEdgeClearance};
}

double parseScale(const std::string& text)
{
    // Not strtod: the application runs in the user's locale, where the
    // decimal point of "1.00" may be a comma.
    size_t at = text.find_first_not_of(" \t");
    if (at == std::string::npos)
        return 0.0;
    double sign = 1.0;
    if (text[at] == '+' || text[at] == '-') {
        sign = text[at] == '-' ? -1.0 : 1.0;
        ++at;
    }
    double value = 0.0;
    const char* begin = text.data() + at;
    const std::from_chars_result read = std::from_chars(begin, text.data() + text.size(), value);
    if (read.ec != std::errc() || !std::isfinite(value))
        return 0.0;
    return sign * value;
}

PagesPrinted printPages(int pageCount, const std::function<Result<ImageBlock>(int)>& readPage, PageSink& sink)
{
    PagesPrinted run;
    for (int page = 0; page < pageCount; ++page) {
        Result<ImageBlock> block = readPage(page);
        if (!block) {
            run.unreadable.emplace_back(page, block.text());
            continue;
        }
        if (!sink.printPage(*block)) {
            run.pageFailed = true;
            break;
        }
        ++run.printed;
    }
    return run;
}

PrintReport printAllPagesReport(const PagesPrinted& run, bool jobStarted)
{
    PrintReport report;
    report.failed = !jobStarted || run.pageFailed || !run.unreadable.empty() || run.printed == 0;
    if (!report.failed) {
        report.text = "Printer spooling ready !";
        return report;
    }
    report.text = "Print error !";
    // Pages left out are named, so a sheet missing from the pile is no
    // surprise.
    for (const auto& [page, words] : run.unreadable)
        report.text += formatted("\n\n%s %d : %s", "Page", page + 1, words.c_str());
    return report;
}

} // namespace pictorand
