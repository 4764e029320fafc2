#pragma once
// The main window's commands, one row each: id, menu text, keys, the rule
// that enables and checks it and what it needs before it runs. The menu bar
// places rows by id. The Qt layer builds its menus and key tables from the
// rows and registers one handler per id; a row without a handler stays in
// the menu, disabled.

#include "core/messages.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pictorand {

namespace command {
inline constexpr int Open = 40001;
inline constexpr int Properties = 40002;
inline constexpr int SaveAs = 40011;
inline constexpr int Exit = 40012;
inline constexpr int DeleteFile = 40013;
inline constexpr int Reopen = 40027;
inline constexpr int FullScreen = 40030;
inline constexpr int About = 40036;
inline constexpr int BestFit = 40037;
inline constexpr int NextFile = 40039;
inline constexpr int PreviousFile = 40040;
inline constexpr int RotateLeft = 40041;
inline constexpr int RotateRight = 40042;
inline constexpr int VerticalFlip = 40043;
inline constexpr int HorizontalFlip = 40044;
inline constexpr int CopyFile = 40045;
inline constexpr int MoveFile = 40046;
inline constexpr int ZoomIn = 40047;
inline constexpr int ZoomOut = 40048;
inline constexpr int ResizeImage = 40050;
inline constexpr int ImageInfo = 40051;
inline constexpr int TimeMeasurement = 40052;
inline constexpr int Copy = 40053;
inline constexpr int EditDelete = 40054;
inline constexpr int Paste = 40055;
inline constexpr int ClearClipboard = 40056;
inline constexpr int FirstFile = 40057;
inline constexpr int LastFile = 40058;
inline constexpr int Print = 40065;
inline constexpr int Greyscale = 40067;
inline constexpr int Negative = 40068;
inline constexpr int Brightness = 40069;
inline constexpr int RefreshDirectory = 40070;
inline constexpr int Slideshow = 40071;
inline constexpr int StopAnimation = 40072;
inline constexpr int AlwaysOnTop = 40074;
inline constexpr int EditPalette = 40075;
inline constexpr int RenameFile = 40079;
inline constexpr int WallpaperCentred = 40080;
inline constexpr int WallpaperTiled = 40081;
inline constexpr int PreviousWallpaper = 40083;
inline constexpr int SwapRbg = 40085;
inline constexpr int SwapBgr = 40086;
inline constexpr int SwapBrg = 40087;
inline constexpr int SwapGrb = 40088;
inline constexpr int SwapGbr = 40089;
inline constexpr int Contrast = 40090;
inline constexpr int GammaCorrection = 40091;
inline constexpr int IncreaseTo16Colors = 40093;
inline constexpr int IncreaseTo256Colors = 40094;
inline constexpr int IncreaseToTrueColor = 40095;
inline constexpr int DecreaseColorDepth = 40096;
inline constexpr int ResampleImage = 40097;
inline constexpr int BatchConversion = 40098;
inline constexpr int NextPage = 40100;
inline constexpr int PreviousPage = 40101;
inline constexpr int FirstPage = 40102;
inline constexpr int LastPage = 40103;
inline constexpr int PrintAllPages = 40104;
inline constexpr int ExtractAllPages = 40105;
inline constexpr int SelectSource = 40106;
inline constexpr int Acquire = 40107;
inline constexpr int SortByNameAscending = 40108;
inline constexpr int SortByNameDescending = 40109;
inline constexpr int SortByDateDescending = 40111;
inline constexpr int SortByExtensionAscending = 40114;
inline constexpr int SortByExtensionDescending = 40115;
inline constexpr int SortByDateAscending = 40116;
inline constexpr int SortBySizeAscending = 40117;
inline constexpr int SortBySizeDescending = 40118;
inline constexpr int Minimise = 40119;
inline constexpr int RecentDirectory1 = 10075; // ... 10079
inline constexpr int StartAnimation = 1996;
inline constexpr int NextOverviewPage = 2034;
// Keys without a menu item that move the picture in its window: a line or
// a page up, down, left or right.
inline constexpr int ScrollLineUp = 2101;
inline constexpr int ScrollLineDown = 2102;
inline constexpr int ScrollLineLeft = 2103;
inline constexpr int ScrollLineRight = 2104;
inline constexpr int ScrollPageUp = 2105;
inline constexpr int ScrollPageDown = 2106;
inline constexpr int ScrollPageLeft = 2107;
inline constexpr int ScrollPageRight = 2108;
} // namespace command

// Keys as plain data: an upper-case letter, '+' or '-', or one of these.
namespace key {
inline constexpr char32_t Space = U' ';
inline constexpr char32_t Enter = 0xE000;
inline constexpr char32_t Escape = 0xE001;
inline constexpr char32_t Backspace = 0xE002;
inline constexpr char32_t Delete = 0xE003;
inline constexpr char32_t Insert = 0xE004;
inline constexpr char32_t F6 = 0xE006;
inline constexpr char32_t F7 = 0xE007;
inline constexpr char32_t F8 = 0xE008;
inline constexpr char32_t PageUp = 0xE010;
inline constexpr char32_t PageDown = 0xE011;
inline constexpr char32_t Home = 0xE012;
inline constexpr char32_t End = 0xE013;
inline constexpr char32_t Left = 0xE014;
inline constexpr char32_t Right = 0xE015;
inline constexpr char32_t Up = 0xE016;
inline constexpr char32_t Down = 0xE017;
} // namespace key

enum KeyModifier : unsigned { NoModifier = 0, Ctrl = 1, Shift = 2 };

enum class KeyScope {
    // Acts only while the command is enabled; the modifiers must match
    // exactly ('+' and '-' are characters and take any Shift).
    Accelerator,
    // The window's own keys: act whatever the menu says, with Shift or
    // without.
    Window,
};

// A key of a command. The full-screen window takes only the keys marked for
// it; any other key leaves full screen.
struct KeyStroke {
    char32_t key = 0;
    unsigned modifiers = NoModifier;
    KeyScope scope = KeyScope::Accelerator;
    bool fullScreen = false;
};
// What a scroll command moves, nothing for another id.
struct ScrollMove {
    bool horizontal = false;
    bool page = false;    // a page, else a line
    bool forward = false; // down or right
};
std::optional<ScrollMove> scrollMoveOf(int id);

// "Ctrl+Shift+C", "Del", "+": the words a menu shows for a key.
std::string keyHint(const KeyStroke& stroke);

// What the enabled and checked states depend on.
struct ViewerState {
    bool hasBlock = false;
    int bitCount = 0; // of the current block as last painted
    bool animationRunning = false;
    bool pathIsExistingFile = false;
    bool clipboardHasImage = false;
    bool multiPage = false;
    bool overviewSheet = false;
    int directoryFileCount = 0;
    bool alwaysFit = false;
    int sortOrder = 0;
    bool timeMeasurement = false;
    bool alwaysOnTop = false;
};

struct ItemState {
    bool enabled = false;
    bool checked = false;
};

// The enable and check rules a row can have.
enum class MenuRule {
    Always,
    ExistingFile,   // the path names a file on disk
    Block,          // a block is shown
    Picture,        // a block or a running animation
    Clipboard,      // the clipboard holds a picture
    Animation,      // an animation runs
    MonoBlock,      // 1 bit
    BelowEightBits, // 1 or 4 bits
    BelowTrueColor, // 1, 4 or 8 bits
    AboveMono,      // 4, 8 or 24 bits
    NotMono,
    Paletted,       // 8 bits or fewer
    SeveralFiles,   // the directory list holds two or more
    MultiPage,
    OverviewSheet,  // a Photo CD overview sheet is shown
    AlwaysFitCheck, // enabled; checked as the setting
    TimeMeasurementCheck,
    AlwaysOnTopCheck,
    SortOrderCheck, // enabled; checked for the list's sort order
};

// What a command checks before it runs, whatever way it arrives.
struct CommandConditions {
    bool blockedByFullScreen = false;
    bool blockedBySlideshow = false;
    bool needsPicture = false;      // a block or a running animation, else "No picture !"
    bool needsBlock = false;        // a block, else "No picture !"
    bool needsBlockQuietly = false; // a block, else nothing happens
    bool needsPictureQuietly = false; // a block or a running animation, else nothing
    bool needsZoom100 = false;      // else "Not available if ZOOM active !"
};

// Where a separator goes before a row's item: in its own menu, or in the
// parent menu before the pop-up the row opens.
enum class Gap { None, Before, BeforeMenu };

struct CommandRow {
    int id = 0;
    // The menu the item sits in, pop-ups after a '/' ("&File/M&ultipage
    // TIFF"); null for a command reached by its keys alone. Items appear in
    // the order of the rows.
    const char* menu = nullptr;
    std::string text; // the menu text without the key hint
    MenuRule rule = MenuRule::Always;
    CommandConditions conditions;
    std::vector<KeyStroke> keys; // the first is shown in the menu
    Gap gap = Gap::None;
};

// Every command, menu items and key-only ones alike.
const std::vector<CommandRow>& commandTable();
// The row of an id, or null.
const CommandRow* commandRow(int id);

// One entry of a menu: a command, a separator or a pop-up.
struct MenuEntry {
    enum class Kind { Command, Separator, Popup };
    Kind kind = Kind::Command;
    int id = 0;
    std::string text;               // the item's text, "\t" before the key shown
    std::vector<MenuEntry> entries; // of a pop-up
};

struct MenuDefinition {
    std::string title;
    std::vector<MenuEntry> entries;
};

// The menu bar, built from the rows' menus in row order. The viewer appends
// the recently-used-directories pop-up to the File menu.
const std::vector<MenuDefinition>& menuBar();
// The text of a command's item with its key hint, empty for an unknown id.
std::string menuText(int id);
// The command ids of every item of the menu bar.
std::vector<int> allMenuCommands();

// The sort order (0 to 7) of a sort command, -1 for any other id.
int sortOrderOfCommand(int id);
int sortCommandOfOrder(int order);

// The enabled and checked state by the row's rule, as if the command were
// built; the Qt layer disables what has no handler.
ItemState menuRuleState(const CommandRow& row, const ViewerState& state);

inline constexpr const char* kZoomActiveMessage = "Not available if ZOOM active !";

enum class Precondition { Run, Ignore, NoPicture, ZoomActive };
struct PreconditionState {
    bool hasBlock = false;
    bool animationRunning = false;
    bool fullScreen = false;
    bool slideshow = false;
    int zoom = 100;
};
// Whether the command runs, is ignored, or answers with one of the two
// messages (the caller shows "No picture !" with the warning icon and the
// zoom message with the information icon).
Precondition checkPreconditions(int id, const PreconditionState& state);

} // namespace pictorand
