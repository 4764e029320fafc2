#pragma once
// The commands that connect the viewer to the rest of the desktop: Print
// and Print all pages, Copy, Paste and Clear Clipboard, and the wallpaper
// commands. They register their handlers with the main window, which runs
// them once the commands' preconditions have passed.

#include "core/result.h"
#include "shell/core/print_layout.h"
#include "shell/picture_host.h"

#include <functional>
#include <optional>

class QMimeData;
class QPrinter;
class QWidget;

namespace pictorand {

class DesktopCommands {
public:
    explicit DesktopCommands(PictureHost& host);

    void registerHandlers(CommandHandlers& handlers);

    // The clipboard holds something Paste can try.
    static bool clipboardHasImage();

    // The Print Options dialog and the printer dialog (tests script them).
    static std::function<std::optional<PrintOptions>(QWidget*)> printOptionsChooser;
    static std::function<bool(QPrinter&, QWidget*)> printerChooser;

    // The picture the clipboard holds, read by the program's own readers;
    // the first flavour that decodes wins.
    static Result<ImageBlock> clipboardPicture(const QMimeData* data, const SettingsFile& settings);
    // The clipboard's flavours of a block: BMP and PNG files and Qt's image.
    static QMimeData* clipboardData(const ImageBlock& block);

private:
    void print();
    void printAllPages();
    // A job over `pageCount` pages read by `readPage`; false when the
    // printer dialog was cancelled or the document could not be started.
    bool runPrintJob(const PrintOptions& options, const std::string& documentName, int pageCount,
                     const std::function<Result<ImageBlock>(int)>& readPage, PagesPrinted& run);
    void copy();
    void paste();
    void setWallpaper(bool tiled);
    void previousWallpaper();

    PictureHost& m_host;
};

} // namespace pictorand
