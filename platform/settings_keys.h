#pragma once
// Every section, key and default of P_RAND32.INI. Code names a setting by one
// of these constants, never by loose strings, so a key is spelt once.
// A default of "$TEMP" stands for the system's temporary folder.

#include <string_view>

namespace pictorand {

struct SettingKey {
    std::string_view section;
    std::string_view name;
    std::string_view defaultValue;
};

namespace settings {

inline constexpr SettingKey AlwaysFit{"Others", "AlwaysFit", "0"};
inline constexpr SettingKey FitForBigImages{"Others", "FitForBigImages", "0"};
inline constexpr SettingKey UseResample{"Others", "UseResample", "0"};
inline constexpr SettingKey FileSortOrder{"Others", "FileSortOrder", "0"};
inline constexpr SettingKey RenameExtension{"Others", "RenameExtension", "1"};
inline constexpr SettingKey OneInstance{"Others", "OneInstance", "1"};
inline constexpr SettingKey RememberWinPos{"Others", "RememberWinPos", "1"};
inline constexpr SettingKey AskDelete{"Others", "AskDelete", "1"};
inline constexpr SettingKey ShowFullScreenName{"Others", "ShowFullScreenName", "1"};
inline constexpr SettingKey SaveIndex{"Others", "SaveIndex", "1"};
inline constexpr SettingKey ResizeAspectRatio{"Others", "ResizeAspectRatio", "1"};
// Megabytes of pictures decoded ahead of next/previous: 0 a quarter of the
// physical memory (at most 1 GiB), below 0 none.
inline constexpr SettingKey ReadAheadMegabytes{"Others", "ReadAheadMB", "0"};
// Pictures are turned upright by their EXIF/TIFF orientation, and converted
// from their embedded ICC profile to sRGB, at load.
inline constexpr SettingKey AutoRotate{"Others", "AutoRotate", "1"};
inline constexpr SettingKey ColorManagement{"Others", "ColorManagement", "1"};
// Every file is decoded in a confined worker process, which may take this
// many seconds for one picture; Sandbox=0 decodes in the program itself.
inline constexpr SettingKey Sandbox{"Others", "Sandbox", "1"};
inline constexpr SettingKey SandboxSeconds{"Others", "SandboxSeconds", "30"};

inline constexpr SettingKey XKoord{"WinPosition", "xKoord", "0"};
inline constexpr SettingKey YKoord{"WinPosition", "yKoord", "0"};

inline constexpr SettingKey LoadGrayscale{"JPEG", "Load Grayscale", "0"};
inline constexpr SettingKey SaveQuality{"JPEG", "Save Quality", "80"};
inline constexpr SettingKey SaveGrayscale{"JPEG", "Save Grayscale", "0"};
inline constexpr SettingKey SaveProgressive{"JPEG", "Save Progressive", "0"};
// A JPEG only turned and flipped is saved as JPEG by turning its blocks,
// without compressing it again; partial edge blocks go only when allowed.
inline constexpr SettingKey SaveLosslessTurn{"JPEG", "Lossless Turn", "1"};
inline constexpr SettingKey SaveTrimEdges{"JPEG", "Trim Edges", "0"};

inline constexpr SettingKey LoadingSize{"PhotoCD", "Loading Size", "2"};

// The options page shows 1 when the key is missing; readers use 0.
inline constexpr SettingKey SaveCompression{"TIFF", "Save Compression", "0"};

inline constexpr SettingKey MultiGifNone{"MultiGIF", "None", "0"};
inline constexpr SettingKey MultiGifAnimate{"MultiGIF", "Animate", "1"};
inline constexpr SettingKey SaveInterlaced{"MultiGIF", "SaveInterlaced", "0"};
inline constexpr SettingKey SaveTransparent{"MultiGIF", "SaveTransparent", "0"};
inline constexpr SettingKey Transparency{"MultiGIF", "Transparency", "0"};

inline constexpr SettingKey OpenDir{"Copy-Move", "OpenDir", ""};
inline constexpr SettingKey SaveDir{"Copy-Move", "SaveDir", ""};
inline constexpr SettingKey ExtractGif{"Copy-Move", "ExtractGIF", "$TEMP/"};
inline constexpr SettingKey CopyDir{"Copy-Move", "CopyDir", ""};
inline constexpr SettingKey MoveDir{"Copy-Move", "MoveDir", ""};
inline constexpr SettingKey AskCopy{"Copy-Move", "AskCopy", "1"};
inline constexpr SettingKey AskMove{"Copy-Move", "AskMove", "1"};
inline constexpr SettingKey CopyDirs[5] = {
    {"Copy-Move", "CopyDir1", "$TEMP"}, {"Copy-Move", "CopyDir2", "$TEMP"}, {"Copy-Move", "CopyDir3", "$TEMP"},
    {"Copy-Move", "CopyDir4", "$TEMP"}, {"Copy-Move", "CopyDir5", "$TEMP"},
};
inline constexpr SettingKey MoveDirs[5] = {
    {"Copy-Move", "MoveDir1", "$TEMP"}, {"Copy-Move", "MoveDir2", "$TEMP"}, {"Copy-Move", "MoveDir3", "$TEMP"},
    {"Copy-Move", "MoveDir4", "$TEMP"}, {"Copy-Move", "MoveDir5", "$TEMP"},
};

inline constexpr SettingKey TempPath{"Temp", "Path", "$TEMP"};

inline constexpr SettingKey RecentDirs[5] = {
    {"MRUD", "Dir1", ""}, {"MRUD", "Dir2", ""}, {"MRUD", "Dir3", ""}, {"MRUD", "Dir4", ""}, {"MRUD", "Dir5", ""},
};

inline constexpr SettingKey SlideshowAdvancement{"Slideshow", "Advancement", "1"};
inline constexpr SettingKey SlideshowAutoDelay{"Slideshow", "AutoDelay", "5"};
inline constexpr SettingKey SlideshowRandomDelay{"Slideshow", "RandomDelay", "5"};
inline constexpr SettingKey SlideshowLoop{"Slideshow", "Loop", "1"};
inline constexpr SettingKey SlideshowShowFilename{"Slideshow", "ShowFilename", "1"};
inline constexpr SettingKey SlideshowSuppressErrors{"Slideshow", "SuppressErrors", "1"};

inline constexpr SettingKey BatchOutputType{"Batch", "OutputType", "0"};
inline constexpr SettingKey BatchOutputPath{"Batch", "OutputPath", ""};

inline constexpr SettingKey PreviewActive{"Preview", "Active", "1"};

// The SANE device last scanned from, and how.
inline constexpr SettingKey ScanDevice{"Scanner", "Device", ""};
inline constexpr SettingKey ScanMode{"Scanner", "Mode", ""};
inline constexpr SettingKey ScanResolution{"Scanner", "Resolution", "0"};
inline constexpr SettingKey ScanSource{"Scanner", "Source", ""};

inline constexpr SettingKey UseThumbBmp{"Extensions", "UseThumbBMP", "1"};
// Section of the per-extension association flags (key: the extension, default 0).
inline constexpr std::string_view ExtensionsSection = "Extensions";

} // namespace settings
} // namespace pictorand

namespace pictorand::registry {

// The registry store: values the desktop keeps elsewhere, in a file of the
// configuration folder.
inline constexpr const char* kStoreFileName = "Registry.ini";

inline constexpr SettingKey Wallpaper{"Control Panel\\Desktop", "Wallpaper", ""};
inline constexpr SettingKey TileWallpaper{"Control Panel\\Desktop", "TileWallpaper", "0"};
inline constexpr SettingKey PrevWallpaper{"Control Panel\\Desktop", "PrevWallpaper", ""};
inline constexpr SettingKey PrevTileWallpaper{"Control Panel\\Desktop", "PrevTileWallpaper", "0"};

} // namespace pictorand::registry
