#include "shell/core/commands.h"

#include <algorithm>
#include <array>

namespace pictorand {

namespace {

KeyStroke accelerator(char32_t key, unsigned modifiers = NoModifier)
{
    return {key, modifiers, KeyScope::Accelerator};
}
KeyStroke windowKey(char32_t key)
{
    return {key, NoModifier, KeyScope::Window};
}
KeyStroke everyWindowKey(char32_t key)
{
    return {key, NoModifier, KeyScope::WindowAndFullScreen};
}

// The sets of conditions the commands share.
CommandConditions none()
{
    return {};
}
CommandConditions notOverWindows() // full screen or a slideshow must not be covered by a dialog
{
    CommandConditions c;
    c.blockedByFullScreen = c.blockedBySlideshow = true;
    return c;
}
CommandConditions fileWork()
{
    CommandConditions c;
    c.needsPicture = c.blockedBySlideshow = true;
    return c;
}
CommandConditions save()
{
    CommandConditions c = notOverWindows();
    c.needsBlock = true;
    return c;
}
CommandConditions quietPicture()
{
    CommandConditions c;
    c.needsPictureQuietly = true;
    return c;
}
CommandConditions block()
{
    CommandConditions c;
    c.needsBlock = true;
    return c;
}
CommandConditions quietBlock()
{
    CommandConditions c;
    c.needsBlockQuietly = true;
    return c;
}
CommandConditions picture()
{
    CommandConditions c;
    c.needsPicture = true;
    return c;
}
CommandConditions turn() // the window is sized to the turned picture, so only at 100 %
{
    CommandConditions c = notOverWindows();
    c.needsPicture = c.needsZoom100 = true;
    return c;
}
CommandConditions notInSlideshow()
{
    CommandConditions c;
    c.blockedBySlideshow = true;
    return c;
}

std::vector<CommandRow> buildCommandTable()
{
    using namespace command;
    using R = MenuRule;
    return {
        // File
        {Open, "&Open", R::Always, notOverWindows(), {accelerator('O')}},
        {Reopen, "&Reopen", R::ExistingFile, none(), {accelerator('R', Shift)}},
        {SaveAs, "Sa&ve as ...", R::Block, save(), {accelerator('S')}},
        {DeleteFile, "&Delete", R::ExistingFile, none(), {accelerator(key::Delete)}},
        {RenameFile, "Re&name File", R::ExistingFile, fileWork(), {windowKey(key::F6)}},
        {MoveFile, "&Move File", R::ExistingFile, fileWork(), {everyWindowKey(key::F7)}},
        {CopyFile, "&Copy File", R::ExistingFile, fileWork(), {everyWindowKey(key::F8)}},
        {ImageInfo, "&Image info", R::Picture, quietPicture(), {accelerator('I')}},
        {NextPage, "&Next page", R::MultiPage, none(), {accelerator('N', Ctrl)}},
        {PreviousPage, "&Previous page", R::MultiPage, none(), {accelerator('P', Ctrl)}},
        {FirstPage, "&First page", R::MultiPage, none(), {}},
        {LastPage, "&Last page", R::MultiPage, none(), {}},
        {PrintAllPages, "Print &all pages", R::MultiPage, none(), {}},
        {ExtractAllPages, "&Extract all pages", R::MultiPage, none(), {}},
        {Slideshow, "Slidesho&w", R::Always, none(), {accelerator('W')}},
        {BatchConversion, "&Batch Conversion", R::Always, none(), {accelerator('B')}},
        {Print, "&Print", R::Block, block(), {}},
        {SelectSource, "&Select Source", R::Always, none(), {}},
        {Acquire, "&Acquire", R::Always, none(), {}},
        {Exit, "&Exit", R::Always, none(), {windowKey(key::Escape)}},
        // Edit
        {Copy, "&Copy", R::Block, quietBlock(), {accelerator('C', Ctrl)}},
        {Paste, "&Paste", R::Clipboard, none(), {accelerator('V', Ctrl), accelerator(key::Insert, Shift)}},
        {EditDelete, "&Delete", R::Block, none(), {}},
        {ClearClipboard, "C&lear Clipboard", R::Clipboard, none(), {}},
        {WallpaperCentred, "&Centered", R::Block, picture(), {accelerator('C', Ctrl | Shift)}},
        {WallpaperTiled, "&Tiled", R::Block, picture(), {accelerator('T', Ctrl | Shift)}},
        {PreviousWallpaper, "&Previous wallpaper", R::Always, none(), {accelerator('P', Ctrl | Shift)}},
        // View
        {FullScreen, "&Full screen", R::Block, quietBlock(), {windowKey(key::Enter)}},
        {BestFit, "&Best Fit to desktop", R::AlwaysFitCheck, none(), {accelerator('F')}},
        {ZoomIn, "Zoom &In", R::Picture, notInSlideshow(), {accelerator('+')}},
        {ZoomOut, "Zoom &Out", R::Picture, notInSlideshow(), {accelerator('-')}},
        {NextFile, "&Next File in Directory", R::SeveralFiles, none(), {everyWindowKey(key::Space)}},
        {PreviousFile, "&Previous File in Directory", R::SeveralFiles, none(), {everyWindowKey(key::Backspace)}},
        {FirstFile, "Fir&st File in Directory", R::SeveralFiles, none(), {accelerator('F', Ctrl)}},
        {LastFile, "Las&t File in Directory", R::SeveralFiles, none(), {accelerator('L', Ctrl)}},
        {RefreshDirectory, "Refresh &Directory", R::Always, none(), {accelerator('U')}},
        // The sort items show their direction where other items show a key.
        {SortByNameAscending, "by &Name\t(ascending)", R::SortOrderCheck, none(), {}},
        {SortByDateAscending, "by &Date\t(ascending)", R::SortOrderCheck, none(), {}},
        {SortBySizeAscending, "by &Size\t(ascending)", R::SortOrderCheck, none(), {}},
        {SortByExtensionAscending, "by &Extension\t(ascending)", R::SortOrderCheck, none(), {}},
        {SortByNameDescending, "by N&ame\t(descending)", R::SortOrderCheck, none(), {}},
        {SortByDateDescending, "by Da&te\t(descending)", R::SortOrderCheck, none(), {}},
        {SortBySizeDescending, "by Si&ze\t(descending)", R::SortOrderCheck, none(), {}},
        {SortByExtensionDescending, "by E&xtension\t(descending)", R::SortOrderCheck, none(), {}},
        {StopAnimation, "Stop GIF-Ani&mation", R::Animation, none(), {accelerator('G')}},
        {Minimise, "Minimi&ze", R::Always, none(), {accelerator('M')}},
        {AlwaysOnTop, "Always on T&op", R::AlwaysOnTopCheck, none(), {}},
        {TimeMeasurement, "&Time Measurement", R::TimeMeasurementCheck, none(), {}},
        // Image
        {RotateLeft, "Rotate &Left", R::Block, turn(), {accelerator('L')}},
        {RotateRight, "Rotate &Right", R::Block, turn(), {accelerator('R')}},
        {VerticalFlip, "&Vertical Flip", R::Block, turn(), {accelerator('V')}},
        {HorizontalFlip, "&Horizontal Flip", R::Block, turn(), {accelerator('H')}},
        {ResizeImage, "&Resize image", R::Block, picture(), {}},
        {ResampleImage, "Resamp&le image", R::Block, picture(), {}},
        {IncreaseTo16Colors, "16    Colors (  &4 BPP)", R::MonoBlock, picture(), {}},
        {IncreaseTo256Colors, "256  Colors (  &8 BPP)", R::BelowEightBits, picture(), {}},
        {IncreaseToTrueColor, "16,7 Million (&24 BPP)", R::BelowTrueColor, picture(), {}},
        {DecreaseColorDepth, "&Decrease Color Depth", R::AboveMono, picture(), {}},
        {Greyscale, "Convert to &Greyscale", R::NotMono, picture(), {}},
        {Negative, "&Negative", R::Block, picture(), {}},
        {SwapRbg, "RGB -> RBG", R::Block, picture(), {}},
        {SwapBgr, "RGB -> BGR", R::Block, picture(), {}},
        {SwapBrg, "RGB -> BRG", R::Block, picture(), {}},
        {SwapGrb, "RGB -> GRB", R::Block, picture(), {}},
        {SwapGbr, "RGB -> GBR", R::Block, picture(), {}},
        {Brightness, "&Brightness", R::Block, picture(), {}},
        {Contrast, "&Contrast", R::Block, picture(), {}},
        {GammaCorrection, "G&amma Correction", R::Block, picture(), {}},
        {EditPalette, "&Edit palette", R::Paletted, picture(), {}},
        // Options, Help
        {Properties, "&Properties", R::Always, none(), {accelerator('P')}},
        {About, "&About Pictorand", R::Always, notOverWindows(), {accelerator('A')}},
        // Keys without a menu item: the next sheet of a Photo CD overview.
        {NextOverviewPage, "", R::OverviewSheet, none(), {accelerator('N')}},
    };
}

MenuEntry item(int id)
{
    return {MenuEntry::Kind::Command, id, menuText(id), {}};
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
             item(Open),
             item(Reopen),
             separator(),
             item(SaveAs),
             separator(),
             item(DeleteFile),
             item(RenameFile),
             item(MoveFile),
             item(CopyFile),
             separator(),
             item(ImageInfo),
             popup("M&ultipage TIFF",
                   {
                       item(NextPage),
                       item(PreviousPage),
                       item(FirstPage),
                       item(LastPage),
                       separator(),
                       item(PrintAllPages),
                       item(ExtractAllPages),
                   }),
             separator(),
             item(Slideshow),
             item(BatchConversion),
             separator(),
             item(Print),
             separator(),
             item(SelectSource),
             item(Acquire),
             separator(),
             item(Exit),
         }},
        {"&Edit",
         {
             item(Copy),
             item(Paste),
             item(EditDelete),
             separator(),
             item(ClearClipboard),
             separator(),
             popup("&Wallpaper",
                   {
                       item(WallpaperCentred),
                       item(WallpaperTiled),
                       item(PreviousWallpaper),
                   }),
         }},
        {"&View",
         {
             item(FullScreen),
             item(BestFit),
             separator(),
             item(ZoomIn),
             item(ZoomOut),
             separator(),
             item(NextFile),
             item(PreviousFile),
             item(FirstFile),
             item(LastFile),
             item(RefreshDirectory),
             popup("S&ort Directory",
                   {
                       item(SortByNameAscending),
                       item(SortByDateAscending),
                       item(SortBySizeAscending),
                       item(SortByExtensionAscending),
                       separator(),
                       item(SortByNameDescending),
                       item(SortByDateDescending),
                       item(SortBySizeDescending),
                       item(SortByExtensionDescending),
                   }),
             separator(),
             item(StopAnimation),
             separator(),
             item(Minimise),
             item(AlwaysOnTop),
             item(TimeMeasurement),
         }},
        {"&Image",
         {
             item(RotateLeft),
             item(RotateRight),
             item(VerticalFlip),
             item(HorizontalFlip),
             separator(),
             item(ResizeImage),
             item(ResampleImage),
             separator(),
             popup("&Increase Color Depth",
                   {
                       item(IncreaseTo16Colors),
                       item(IncreaseTo256Colors),
                       item(IncreaseToTrueColor),
                   }),
             item(DecreaseColorDepth),
             separator(),
             item(Greyscale),
             item(Negative),
             popup("S&wap Colors",
                   {
                       item(SwapRbg),
                       item(SwapBgr),
                       item(SwapBrg),
                       item(SwapGrb),
                       item(SwapGbr),
                   }),
             item(Brightness),
             item(Contrast),
             item(GammaCorrection),
             item(EditPalette),
         }},
        {"&Options",
         {
             item(Properties),
         }},
        {"&Help",
         {
             item(About),
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

const std::vector<CommandRow>& commandTable()
{
    static const std::vector<CommandRow> table = buildCommandTable();
    return table;
}

const CommandRow* commandRow(int id)
{
    for (const CommandRow& row : commandTable())
        if (row.id == id)
            return &row;
    return nullptr;
}

std::string keyHint(const KeyStroke& stroke)
{
    std::string hint;
    if (stroke.modifiers & Ctrl)
        hint += "Ctrl+";
    if (stroke.modifiers & Shift)
        hint += "Shift+";
    switch (stroke.key) {
    case key::Space:
        return hint + "Space";
    case key::Enter:
        return hint + "Enter";
    case key::Escape:
        return hint + "Esc";
    case key::Backspace:
        return hint + "Backspace";
    case key::Delete:
        return hint + "Del";
    case key::Insert:
        return hint + "Ins";
    case key::F6:
    case key::F7:
    case key::F8:
        return hint + "F" + std::to_string(stroke.key - key::F6 + 6);
    default:
        return hint + static_cast<char>(stroke.key);
    }
}

std::string menuText(int id)
{
    const CommandRow* row = commandRow(id);
    if (!row)
        return {};
    return row->keys.empty() ? row->text : row->text + "\t" + keyHint(row->keys.front());
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

ItemState menuRuleState(const CommandRow& row, const ViewerState& s)
{
    const bool block = s.hasBlock;
    const int bits = s.bitCount;
    switch (row.rule) {
    case MenuRule::Always:
        return {true, false};
    case MenuRule::ExistingFile:
        return {s.pathIsExistingFile, false};
    case MenuRule::Block:
        return {block, false};
    case MenuRule::Picture:
        return {block || s.animationRunning, false};
    case MenuRule::Clipboard:
        return {s.clipboardHasImage, false};
    case MenuRule::Animation:
        return {s.animationRunning, false};
    case MenuRule::MonoBlock:
        return {block && bits == 1, false};
    case MenuRule::BelowEightBits:
        return {block && bits < 8, false};
    case MenuRule::BelowTrueColor:
        return {block && bits < 24, false};
    case MenuRule::AboveMono:
        return {block && bits > 1, false};
    case MenuRule::NotMono:
        return {block && bits != 1, false};
    case MenuRule::Paletted:
        return {block && bits <= 8, false};
    case MenuRule::SeveralFiles:
        return {s.directoryFileCount >= 2, false};
    case MenuRule::MultiPage:
        return {s.multiPage, false};
    case MenuRule::OverviewSheet:
        return {s.overviewSheet, false};
    case MenuRule::AlwaysFitCheck:
        return {true, s.alwaysFit};
    case MenuRule::TimeMeasurementCheck:
        return {true, s.timeMeasurement};
    case MenuRule::AlwaysOnTopCheck:
        return {true, s.alwaysOnTop};
    case MenuRule::SortOrderCheck:
        return {true, sortOrderOfCommand(row.id) == s.sortOrder};
    }
    return {};
}

} // namespace pictorand

namespace pictorand {

Precondition checkPreconditions(int id, const PreconditionState& state)
{
    const CommandRow* row = commandRow(id);
    if (!row)
        return Precondition::Ignore;
    const CommandConditions& c = row->conditions;
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
