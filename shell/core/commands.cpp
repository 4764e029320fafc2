#include "shell/core/commands.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace pictorand {

namespace {

KeyStroke accelerator(char32_t key, unsigned modifiers = NoModifier)
{
    return {key, modifiers, KeyScope::Accelerator, false};
}
// An accelerator the full-screen window takes too.
KeyStroke everyWindowAccelerator(char32_t key)
{
    return {key, NoModifier, KeyScope::Accelerator, true};
}
KeyStroke windowKey(char32_t key)
{
    return {key, NoModifier, KeyScope::Window, false};
}
// A window key the full-screen window takes too.
KeyStroke everyWindowKey(char32_t key)
{
    return {key, NoModifier, KeyScope::Window, true};
}

// The sets of conditions the commands share.
constexpr CommandConditions none{};
// Full screen or a slideshow must not be covered by a dialog.
constexpr CommandConditions notOverWindows{.blockedByFullScreen = true, .blockedBySlideshow = true};
constexpr CommandConditions fileWork{.blockedBySlideshow = true, .needsPicture = true};
constexpr CommandConditions save{.blockedByFullScreen = true, .blockedBySlideshow = true, .needsBlock = true};
constexpr CommandConditions quietPicture{.needsPictureQuietly = true};
constexpr CommandConditions block{.needsBlock = true};
constexpr CommandConditions quietBlock{.needsBlockQuietly = true};
constexpr CommandConditions picture{.needsPicture = true};
// The window is sized to the turned picture, so only at 100 %.
constexpr CommandConditions turn{
    .blockedByFullScreen = true, .blockedBySlideshow = true, .needsPicture = true, .needsZoom100 = true};
constexpr CommandConditions notInSlideshow{.blockedBySlideshow = true};

constexpr const char* kFile = "&File";
constexpr const char* kMultiPage = "&File/M&ultipage TIFF";
constexpr const char* kEdit = "&Edit";
constexpr const char* kWallpaper = "&Edit/&Wallpaper";
constexpr const char* kView = "&View";
constexpr const char* kSort = "&View/S&ort Directory";
constexpr const char* kImage = "&Image";
constexpr const char* kIncreaseDepth = "&Image/&Increase Color Depth";
constexpr const char* kSwap = "&Image/S&wap Colors";
constexpr const char* kOptions = "&Options";
constexpr const char* kHelp = "&Help";
constexpr const char* kNoMenu = nullptr;

std::vector<CommandRow> buildCommandTable()
{
    using namespace command;
    using R = MenuRule;
    return {
        // File
        {Open, kFile, "&Open", R::Always, notOverWindows, {accelerator('O')}},
        {Reopen, kFile, "&Reopen", R::ExistingFile, none, {accelerator('R', Shift)}},
        {SaveAs, kFile, "Sa&ve as ...", R::Block, save, {accelerator('S')}, Gap::Before},
        {DeleteFile, kFile, "&Delete", R::ExistingFile, none, {accelerator(key::Delete)}, Gap::Before},
        {RenameFile, kFile, "Re&name File", R::ExistingFile, fileWork, {windowKey(key::F6)}},
        {MoveFile, kFile, "&Move File", R::ExistingFile, fileWork, {everyWindowKey(key::F7)}},
        {CopyFile, kFile, "&Copy File", R::ExistingFile, fileWork, {everyWindowKey(key::F8)}},
        {ImageInfo, kFile, "&Image info", R::Picture, quietPicture, {accelerator('I')}, Gap::Before},
        {NextPage, kMultiPage, "&Next page", R::MultiPage, none, {accelerator('N', Ctrl)}},
        {PreviousPage, kMultiPage, "&Previous page", R::MultiPage, none, {accelerator('P', Ctrl)}},
        {FirstPage, kMultiPage, "&First page", R::MultiPage, none, {}},
        {LastPage, kMultiPage, "&Last page", R::MultiPage, none, {}},
        {PrintAllPages, kMultiPage, "Print &all pages", R::MultiPage, none, {}, Gap::Before},
        {ExtractAllPages, kMultiPage, "&Extract all pages", R::MultiPage, none, {}},
        {Slideshow, kFile, "Slidesho&w", R::Always, none, {accelerator('W')}, Gap::Before},
        {BatchConversion, kFile, "&Batch Conversion", R::Always, none, {accelerator('B')}},
        {Print, kFile, "&Print", R::Block, block, {}, Gap::Before},
        {SelectSource, kFile, "&Select Source", R::Always, none, {}, Gap::Before},
        {Acquire, kFile, "&Acquire", R::Always, none, {}},
        {Exit, kFile, "&Exit", R::Always, none, {windowKey(key::Escape)}, Gap::Before},
        // Edit
        {Copy, kEdit, "&Copy", R::Block, quietBlock, {accelerator('C', Ctrl)}},
        {Paste, kEdit, "&Paste", R::Clipboard, none, {accelerator('V', Ctrl), accelerator(key::Insert, Shift)}},
        {EditDelete, kEdit, "&Delete", R::Block, none, {}},
        {ClearClipboard, kEdit, "C&lear Clipboard", R::Clipboard, none, {}, Gap::Before},
        {WallpaperCentred, kWallpaper, "&Centered", R::Block, picture, {accelerator('C', Ctrl | Shift)}, Gap::BeforeMenu},
        {WallpaperTiled, kWallpaper, "&Tiled", R::Block, picture, {accelerator('T', Ctrl | Shift)}},
        {PreviousWallpaper, kWallpaper, "&Previous wallpaper", R::Always, none, {accelerator('P', Ctrl | Shift)}},
        // View
        // A playing animation goes full screen too.
        {FullScreen, kView, "&Full screen", R::Picture, quietPicture, {windowKey(key::Enter)}},
        {BestFit, kView, "&Best Fit to desktop", R::AlwaysFitCheck, none, {accelerator('F')}},
        {ZoomIn, kView, "Zoom &In", R::Picture, notInSlideshow, {everyWindowAccelerator('+')}, Gap::Before},
        {ZoomOut, kView, "Zoom &Out", R::Picture, notInSlideshow, {everyWindowAccelerator('-')}},
        {NextFile, kView, "&Next File in Directory", R::SeveralFiles, none, {everyWindowKey(key::Space)}, Gap::Before},
        {PreviousFile, kView, "&Previous File in Directory", R::SeveralFiles, none, {everyWindowKey(key::Backspace)}},
        {FirstFile, kView, "Fir&st File in Directory", R::SeveralFiles, none, {accelerator('F', Ctrl)}},
        {LastFile, kView, "Las&t File in Directory", R::SeveralFiles, none, {accelerator('L', Ctrl)}},
        {RefreshDirectory, kView, "Refresh &Directory", R::Always, none, {accelerator('U')}},
        // The sort items show their direction where other items show a key.
        {SortByNameAscending, kSort, "by &Name\t(ascending)", R::SortOrderCheck, none, {}},
        {SortByDateAscending, kSort, "by &Date\t(ascending)", R::SortOrderCheck, none, {}},
        {SortBySizeAscending, kSort, "by &Size\t(ascending)", R::SortOrderCheck, none, {}},
        {SortByExtensionAscending, kSort, "by &Extension\t(ascending)", R::SortOrderCheck, none, {}},
        {SortByNameDescending, kSort, "by N&ame\t(descending)", R::SortOrderCheck, none, {}, Gap::Before},
        {SortByDateDescending, kSort, "by Da&te\t(descending)", R::SortOrderCheck, none, {}},
        {SortBySizeDescending, kSort, "by Si&ze\t(descending)", R::SortOrderCheck, none, {}},
        {SortByExtensionDescending, kSort, "by E&xtension\t(descending)", R::SortOrderCheck, none, {}},
        {StopAnimation, kView, "Stop GIF-Ani&mation", R::Animation, none, {accelerator('G')}, Gap::Before},
        {Minimise, kView, "Minimi&ze", R::Always, none, {accelerator('M')}, Gap::Before},
        {AlwaysOnTop, kView, "Always on T&op", R::AlwaysOnTopCheck, none, {}},
        {TimeMeasurement, kView, "&Time Measurement", R::TimeMeasurementCheck, none, {}},
        // Image
        {RotateLeft, kImage, "Rotate &Left", R::Block, turn, {accelerator('L')}},
        {RotateRight, kImage, "Rotate &Right", R::Block, turn, {accelerator('R')}},
        {VerticalFlip, kImage, "&Vertical Flip", R::Block, turn, {accelerator('V')}},
        {HorizontalFlip, kImage, "&Horizontal Flip", R::Block, turn, {accelerator('H')}},
        {ResizeImage, kImage, "&Resize image", R::Block, picture, {}, Gap::Before},
        {ResampleImage, kImage, "Resamp&le image", R::Block, picture, {}},
        {IncreaseTo16Colors, kIncreaseDepth, "16    Colors (  &4 BPP)", R::MonoBlock, picture, {}, Gap::BeforeMenu},
        {IncreaseTo256Colors, kIncreaseDepth, "256  Colors (  &8 BPP)", R::BelowEightBits, picture, {}},
        {IncreaseToTrueColor, kIncreaseDepth, "16,7 Million (&24 BPP)", R::BelowTrueColor, picture, {}},
        {DecreaseColorDepth, kImage, "&Decrease Color Depth", R::AboveMono, picture, {}},
        {Greyscale, kImage, "Convert to &Greyscale", R::NotMono, picture, {}, Gap::Before},
        {Negative, kImage, "&Negative", R::Block, picture, {}},
        {SwapRbg, kSwap, "RGB -> RBG", R::Block, picture, {}},
        {SwapBgr, kSwap, "RGB -> BGR", R::Block, picture, {}},
        {SwapBrg, kSwap, "RGB -> BRG", R::Block, picture, {}},
        {SwapGrb, kSwap, "RGB -> GRB", R::Block, picture, {}},
        {SwapGbr, kSwap, "RGB -> GBR", R::Block, picture, {}},
        {Brightness, kImage, "&Brightness", R::Block, picture, {}},
        {Contrast, kImage, "&Contrast", R::Block, picture, {}},
        {GammaCorrection, kImage, "G&amma Correction", R::Block, picture, {}},
        {EditPalette, kImage, "&Edit palette", R::Paletted, picture, {}},
        // Options, Help
        {Properties, kOptions, "&Properties", R::Always, none, {accelerator('P')}},
        {About, kHelp, "&About Pictorand", R::Always, notOverWindows, {accelerator('A')}},
        // Keys without a menu item: the next sheet of a Photo CD overview.
        {NextOverviewPage, kNoMenu, "", R::OverviewSheet, none, {accelerator('N')}},
        // Posted, never chosen: (re)start the animation of the file on screen.
        {StartAnimation, kNoMenu, "", R::Always, none, {}},
        // Scrolling, in the main window and in full screen.
        {ScrollLineUp, kNoMenu, "", R::Always, none, {everyWindowKey(key::Up)}},
        {ScrollLineDown, kNoMenu, "", R::Always, none, {everyWindowKey(key::Down)}},
        {ScrollLineLeft, kNoMenu, "", R::Always, none, {everyWindowKey(key::Left)}},
        {ScrollLineRight, kNoMenu, "", R::Always, none, {everyWindowKey(key::Right)}},
        {ScrollPageUp, kNoMenu, "", R::Always, none, {everyWindowKey(key::PageUp)}},
        {ScrollPageDown, kNoMenu, "", R::Always, none, {everyWindowKey(key::PageDown)}},
        {ScrollPageLeft, kNoMenu, "", R::Always, none, {everyWindowKey(key::Home)}},
        {ScrollPageRight, kNoMenu, "", R::Always, none, {everyWindowKey(key::End)}},
    };
}

// The entries of `menu` a row's item goes into: the menu's own, or those of
// the pop-up named after the '/', created where its first item comes.
std::vector<MenuEntry>& entriesFor(std::vector<MenuDefinition>& bar, std::string_view path, Gap gap)
{
    const size_t slash = path.find('/');
    const std::string_view top = path.substr(0, slash);
    auto menu = std::find_if(bar.begin(), bar.end(), [&](const MenuDefinition& m) { return m.title == top; });
    if (menu == bar.end()) {
        bar.push_back({std::string(top), {}});
        menu = bar.end() - 1;
    }
    if (slash == std::string_view::npos)
        return menu->entries;
    const std::string_view popupTitle = path.substr(slash + 1);
    const bool open = !menu->entries.empty() && menu->entries.back().kind == MenuEntry::Kind::Popup
                      && menu->entries.back().text == popupTitle;
    if (!open) {
        if (gap == Gap::BeforeMenu)
            menu->entries.push_back({MenuEntry::Kind::Separator, 0, {}, {}});
        menu->entries.push_back({MenuEntry::Kind::Popup, 0, std::string(popupTitle), {}});
    }
    return menu->entries.back().entries;
}

std::vector<MenuDefinition> buildMenuBar()
{
    std::vector<MenuDefinition> bar;
    for (const CommandRow& row : commandTable()) {
        if (!row.menu)
            continue;
        std::vector<MenuEntry>& entries = entriesFor(bar, row.menu, row.gap);
        if (row.gap == Gap::Before)
            entries.push_back({MenuEntry::Kind::Separator, 0, {}, {}});
        entries.push_back({MenuEntry::Kind::Command, row.id, menuText(row.id), {}});
    }
    return bar;
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

std::optional<ScrollMove> scrollMoveOf(int id)
{
    using namespace command;
    switch (id) {
    case ScrollLineUp:
        return ScrollMove{false, false, false};
    case ScrollLineDown:
        return ScrollMove{false, false, true};
    case ScrollLineLeft:
        return ScrollMove{true, false, false};
    case ScrollLineRight:
        return ScrollMove{true, false, true};
    case ScrollPageUp:
        return ScrollMove{false, true, false};
    case ScrollPageDown:
        return ScrollMove{false, true, true};
    case ScrollPageLeft:
        return ScrollMove{true, true, false};
    case ScrollPageRight:
        return ScrollMove{true, true, true};
    default:
        return std::nullopt;
    }
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
    case key::PageUp:
        return hint + "PgUp";
    case key::PageDown:
        return hint + "PgDown";
    case key::Home:
        return hint + "Home";
    case key::End:
        return hint + "End";
    case key::Left:
        return hint + "Left";
    case key::Right:
        return hint + "Right";
    case key::Up:
        return hint + "Up";
    case key::Down:
        return hint + "Down";
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
    const bool shown = s.hasBlock;
    const int bits = s.bitCount;
    switch (row.rule) {
    case MenuRule::Always:
        return {true, false};
    case MenuRule::ExistingFile:
        return {s.pathIsExistingFile, false};
    case MenuRule::Block:
        return {shown, false};
    case MenuRule::Picture:
        return {shown || s.animationRunning, false};
    case MenuRule::Clipboard:
        return {s.clipboardHasImage, false};
    case MenuRule::Animation:
        return {s.animationRunning, false};
    case MenuRule::MonoBlock:
        return {shown && bits == 1, false};
    case MenuRule::BelowEightBits:
        return {shown && bits < 8, false};
    case MenuRule::BelowTrueColor:
        return {shown && bits < 24, false};
    case MenuRule::AboveMono:
        return {shown && bits > 1, false};
    case MenuRule::NotMono:
        return {shown && bits != 1, false};
    case MenuRule::Paletted:
        return {shown && bits <= 8, false};
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
    const bool anyPicture = state.hasBlock || state.animationRunning;
    if (c.needsPicture && !anyPicture)
        return Precondition::NoPicture;
    if (c.needsBlock && !state.hasBlock)
        return Precondition::NoPicture;
    if ((c.needsBlockQuietly && !state.hasBlock) || (c.needsPictureQuietly && !anyPicture))
        return Precondition::Ignore;
    if (c.needsZoom100 && state.zoom != 100)
        return Precondition::ZoomActive;
    return Precondition::Run;
}

} // namespace pictorand
