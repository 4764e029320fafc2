#include "shell/core/commands.h"

#include <algorithm>
#include <array>

namespace pictorand {

namespace {

MenuEntry item(int id, const char* text)
{
    return {MenuEntry::Kind::Command, id, text, {}};
}
MenuEntry separator()
{
    return {MenuEntry::Kind::Separator, 0, {}, {}};
}
MenuEntry popup(const char* text, std::vector<MenuEntry> entries)
{
    return {MenuEntry::Kind::Popup, 0, text, std::move(entries)};
}

std::vector<MenuDefinition> buildMenuBar()
{
    using namespace command;
    return {
        {"&File",
         {
             item(Open, "&Open\tO"),
             item(Reopen, "&Reopen\tShift+R"),
             separator(),
             item(SaveAs, "Sa&ve as ...\tS"),
             separator(),
             item(DeleteFile, "&Delete\tDel"),
             item(RenameFile, "Re&name File\tF6"),
             item(MoveFile, "&Move File\tF7"),
             item(CopyFile, "&Copy File\tF8"),
             separator(),
             item(ImageInfo, "&Image info\tI"),
             popup("M&ultipage TIFF",
                   {
                       item(NextPage, "&Next page\tCtrl+N"),
                       item(PreviousPage, "&Previous page\tCtrl+P"),
                       item(FirstPage, "&First page"),
                       item(LastPage, "&Last page"),
                       separator(),
                       item(PrintAllPages, "Print &all pages"),
                       item(ExtractAllPages, "&Extract all pages"),
                   }),
             separator(),
             item(Slideshow, "Slidesho&w\tW"),
             item(BatchConversion, "&Batch Conversion\tB"),
             separator(),
             item(Print, "&Print"),
             separator(),
             item(SelectSource, "&Select Source"),
             item(Acquire, "&Acquire"),
             separator(),
             item(Exit, "&Exit\tEsc"),
         }},
        {"&Edit",
         {
             item(Copy, "&Copy\tCtrl+C"),
             item(Paste, "&Paste\tCtrl+V"),
             item(EditDelete, "&Delete"),
             separator(),
             item(ClearClipboard, "C&lear Clipboard"),
             separator(),
             popup("&Wallpaper",
                   {
                       item(WallpaperCentred, "&Centered\tCtrl+Shift+C"),
                       item(WallpaperTiled, "&Tiled\tCtrl+Shift+T"),
                       item(PreviousWallpaper, "&Previous wallpaper\tCtrl+Shift+P"),
                   }),
         }},
        {"&View",
         {
             item(FullScreen, "&Full screen\tEnter"),
             item(BestFit, "&Best Fit to desktop\tF"),
             separator(),
             item(ZoomIn, "Zoom &In\t+"),
             item(ZoomOut, "Zoom &Out\t-"),
             separator(),
             item(NextFile, "&Next File in Directory\tSpace"),
             item(PreviousFile, "&Previous File in Directory\tBackspace"),
             item(FirstFile, "Fir&st File in Directory\tCtrl+F"),
             item(LastFile, "Las&t File in Directory\tCtrl+L"),
             item(RefreshDirectory, "Refresh &Directory\tU"),
             popup("S&ort Directory",
                   {
                       item(SortByNameAscending, "by &Name\t(ascending)"),
                       item(SortByDateAscending, "by &Date\t(ascending)"),
                       item(SortBySizeAscending, "by &Size\t(ascending)"),
                       item(SortByExtensionAscending, "by &Extension\t(ascending)"),
                       separator(),
                       item(SortByNameDescending, "by N&ame\t(descending)"),
                       item(SortByDateDescending, "by Da&te\t(descending)"),
                       item(SortBySizeDescending, "by Si&ze\t(descending)"),
                       item(SortByExtensionDescending, "by E&xtension\t(descending)"),
                   }),
             separator(),
             item(StopAnimation, "Stop GIF-Ani&mation\tG"),
             separator(),
             item(Minimise, "Minimi&ze\tM"),
             item(AlwaysOnTop, "Always on T&op"),
             item(TimeMeasurement, "&Time Measurement"),
         }},
        {"&Image",
         {
             item(RotateLeft, "Rotate &Left\tL"),
             item(RotateRight, "Rotate &Right\tR"),
             item(VerticalFlip, "&Vertical Flip\tV"),
             item(HorizontalFlip, "&Horizontal Flip\tH"),
             separator(),
             item(ResizeImage, "&Resize image"),
             item(ResampleImage, "Resamp&le image"),
             separator(),
             popup("&Increase Color Depth",
                   {
                       item(IncreaseTo16Colors, "16    Colors (  &4 BPP)"),
                       item(IncreaseTo256Colors, "256  Colors (  &8 BPP)"),
                       item(IncreaseToTrueColor, "16,7 Million (&24 BPP)"),
                   }),
             item(DecreaseColorDepth, "&Decrease Color Depth"),
             separator(),
             item(Greyscale, "Convert to &Greyscale"),
             item(Negative, "&Negative"),
             popup("S&wap Colors",
                   {
                       item(SwapRbg, "RGB -> RBG"),
                       item(SwapBgr, "RGB -> BGR"),
                       item(SwapBrg, "RGB -> BRG"),
                       item(SwapGrb, "RGB -> GRB"),
                       item(SwapGbr, "RGB -> GBR"),
                   }),
             item(Brightness, "&Brightness"),
             item(Contrast, "&Contrast"),
             item(GammaCorrection, "G&amma Correction"),
             item(EditPalette, "&Edit palette"),
         }},
        {"&Options",
         {
             item(Properties, "&Properties\tP"),
         }},
        {"&Help",
         {
             item(About, "&About Pictorand\tA"),
         }},
    };
}

void collect(const std::vector<MenuEntry>& entries, std::vector<const MenuEntry*>& out)
{
    for (const MenuEntry& entry : entries) {
        if (entry.kind == MenuEntry::Kind::Command)
            out.push_back(&entry);
        else if (entry.kind == MenuEntry::Kind::Popup)
            collect(entry.entries, out);
    }
}

const std::vector<const MenuEntry*>& allItems()
{
    static const std::vector<const MenuEntry*> items = [] {
        std::vector<const MenuEntry*> out;
        for (const MenuDefinition& menu : menuBar())
            collect(menu.entries, out);
        return out;
    }();
    return items;
}

// Sort orders 0 to 7 in the order of the sort commands' meanings.
constexpr std::array<int, 8> kSortCommands = {
    command::SortByNameAscending,  command::SortByDateAscending,  command::SortBySizeAscending,
    command::SortByExtensionAscending, command::SortByNameDescending, command::SortByDateDescending,
    command::SortBySizeDescending, command::SortByExtensionDescending,
};

} // namespace

const std::vector<MenuDefinition>& menuBar()
{
    static const std::vector<MenuDefinition> bar = buildMenuBar();
    return bar;
}

std::string menuText(int id)
{
    for (const MenuEntry* entry : allItems())
        if (entry->id == id)
            return entry->text;
    return {};
}

std::vector<int> allMenuCommands()
{
    std::vector<int> ids;
    for (const MenuEntry* entry : allItems())
        ids.push_back(entry->id);
    return ids;
}

int sortOrderOfCommand(int id)
{
    auto found = std::find(kSortCommands.begin(), kSortCommands.end(), id);
    return found == kSortCommands.end() ? -1 : static_cast<int>(found - kSortCommands.begin());
}

int sortCommandOfOrder(int order)
{
    return order >= 0 && order < 8 ? kSortCommands[static_cast<size_t>(order)] : 0;
}

bool commandImplemented(int id)
{
    using namespace command;
    switch (id) {
    case Open:
    case Reopen:
    case SaveAs:
    case Exit:
    case EditDelete:
    case BestFit:
    case FullScreen:
    case ZoomIn:
    case ZoomOut:
    case TimeMeasurement:
    case AlwaysOnTop:
    case Minimise:
    case About:
    case IncreaseTo16Colors:
    case IncreaseTo256Colors:
    case IncreaseToTrueColor:
    case RotateLeft:
    case RotateRight:
    case VerticalFlip:
    case HorizontalFlip:
    case DecreaseColorDepth:
    case ResizeImage:
    case ResampleImage:
    case Greyscale:
    case Negative:
    case SwapRbg:
    case SwapBgr:
    case SwapBrg:
    case SwapGrb:
    case SwapGbr:
    case Brightness:
    case Contrast:
    case GammaCorrection:
    case EditPalette:
        return true;
    default:
        return false;
    }
}

ItemState menuRuleState(int id, const ViewerState& s)
{
    using namespace command;
    const bool block = s.hasBlock;
    const int bits = s.bitCount;
    switch (id) {
    case BestFit:
        return {true, s.alwaysFit};
    case Reopen:
    case DeleteFile:
    case CopyFile:
    case MoveFile:
    case RenameFile:
        return {s.pathIsExistingFile, false};
    case SaveAs:
    case Print:
    case Copy:
    case EditDelete:
    case WallpaperCentred:
    case WallpaperTiled:
    case ResizeImage:
    case ResampleImage:
    case SwapRbg:
    case SwapBgr:
    case SwapBrg:
    case SwapGrb:
    case SwapGbr:
    case Negative:
    case Brightness:
    case Contrast:
    case GammaCorrection:
    case FullScreen:
    case RotateLeft:
    case RotateRight:
    case VerticalFlip:
    case HorizontalFlip:
        return {block, false};
    case ImageInfo:
    case ZoomIn:
    case ZoomOut:
        return {block || s.animationRunning, false};
    case Paste:
    case ClearClipboard:
        return {s.clipboardHasImage, false};
    case StopAnimation:
        return {s.animationRunning, false};
    case IncreaseTo16Colors:
        return {block && bits == 1, false};
    case IncreaseTo256Colors:
        return {block && bits < 8, false};
    case IncreaseToTrueColor:
        return {block && bits < 24, false};
    case DecreaseColorDepth:
        return {block && bits > 1, false};
    case Greyscale:
        return {block && bits != 1, false};
    case EditPalette:
        return {block && bits <= 8, false};
    case NextFile:
    case PreviousFile:
    case FirstFile:
    case LastFile:
        return {s.directoryFileCount >= 2, false};
    case NextPage:
    case PreviousPage:
    case FirstPage:
    case LastPage:
    case PrintAllPages:
    case ExtractAllPages:
        return {s.multiPage, false};
    case TimeMeasurement:
        return {true, s.timeMeasurement};
    case AlwaysOnTop:
        return {true, s.alwaysOnTop};
    default: {
        int order = sortOrderOfCommand(id);
        if (order >= 0)
            return {true, order == s.sortOrder};
        return {true, false};
    }
    }
}

ItemState menuItemState(int id, const ViewerState& state)
{
    ItemState result = menuRuleState(id, state);
    if (!commandImplemented(id))
        result.enabled = false;
    return result;
}

} // namespace pictorand

namespace pictorand {

CommandConditions commandConditions(int id)
{
    using namespace command;
    CommandConditions c;
    switch (id) {
    case Open:
    case About:
        c.blockedByFullScreen = c.blockedBySlideshow = true;
        break;
    case RenameFile:
    case MoveFile:
    case CopyFile:
        c.needsPicture = true;
        c.blockedBySlideshow = true;
        break;
    case SaveAs:
        c.blockedByFullScreen = c.blockedBySlideshow = true;
        c.needsBlock = true;
        break;
    case ImageInfo:
        c.needsPictureQuietly = true;
        break;
    case Print:
        c.needsBlock = true;
        break;
    case Copy:
    case FullScreen:
        c.needsBlockQuietly = true;
        break;
    case WallpaperCentred:
    case WallpaperTiled:
    case ResizeImage:
    case ResampleImage:
    case SwapRbg:
    case SwapBgr:
    case SwapBrg:
    case SwapGrb:
    case SwapGbr:
    case IncreaseTo16Colors:
    case IncreaseTo256Colors:
    case IncreaseToTrueColor:
    case DecreaseColorDepth:
    case Greyscale:
    case Negative:
    case Brightness:
    case Contrast:
    case GammaCorrection:
    case EditPalette:
        c.needsPicture = true;
        break;
    case RotateLeft:
    case RotateRight:
    case VerticalFlip:
    case HorizontalFlip:
        c.blockedByFullScreen = c.blockedBySlideshow = true;
        c.needsPicture = true;
        c.needsZoom100 = true;
        break;
    case ZoomIn:
    case ZoomOut:
        c.blockedBySlideshow = true;
        break;
    default:
        break;
    }
    return c;
}

Precondition checkPreconditions(int id, const PreconditionState& state)
{
    const CommandConditions c = commandConditions(id);
    if ((c.blockedByFullScreen && state.fullScreen) || (c.blockedBySlideshow && state.slideshow))
        return Precondition::Ignore;
    const bool picture = state.hasBlock || state.animationRunning;
    if (c.needsPicture && !picture)
        return Precondition::NoPicture;
    if (c.needsBlock && !state.hasBlock)
        return Precondition::NoPicture;
    if ((c.needsBlockQuietly && !state.hasBlock) || (c.needsPictureQuietly && !picture))
        return Precondition::Ignore;
    if (c.needsZoom100 && state.zoom != 100)
        return Precondition::ZoomActive;
    return Precondition::Run;
}

} // namespace pictorand
