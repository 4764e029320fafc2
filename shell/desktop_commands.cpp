#include "shell/desktop_commands.h"

#include "codecs/bmp/bmp.h"
#include "core/byte_order.h"
#include "dispatch/load.h"
#include "dispatch/page_load.h"
#include "dispatch/save_dispatch.h"
#include "ops/color_table.h"
#include "ops/quantise.h"
#include "platform/formatted_text.h"
#include "platform/paths.h"
#include "platform/settings_keys.h"
#include "tools/painting/block_image.h"
#include "shell/core/commands.h"
#include "shell/core/pasted_picture.h"
#include "shell/core/wallpaper_rules.h"
#include "shell/desktop_wallpaper.h"
#include "shell/dialogs/print_options_dialog.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QTemporaryFile>

namespace pictorand {

namespace {

constexpr const char* kCantPaste = "Can't paste from clipboard !";

// The flavours a bitmap comes in: a file, or (from Windows programs under
// Wine, say) a packed bitmap without the file header.
const char* const kBitmapFlavours[] = {"image/bmp", "image/x-bmp", "image/x-MS-bmp", "image/x-win-bitmap"};

// The flavours to try, the exact ones first.
QStringList pasteFlavours(const QMimeData* data)
{
    QStringList flavours;
    const QStringList offered = data->formats();
    for (const char* flavour : kBitmapFlavours)
        if (offered.contains(flavour))
            flavours << flavour;
    if (offered.contains("image/png"))
        flavours << "image/png";
    for (const QString& format : offered)
        if (format.startsWith("image/") && !flavours.contains(format))
            flavours << format;
    return flavours;
}

// Bytes of a flavour read by the load dispatch, which finds the format by
// its signature as for any file.
Result<ImageBlock> decodeBytes(const QByteArray& bytes, const SettingsFile& settings)
{
    QTemporaryFile file(QString::fromStdString(tempDirectory()) + "pictorand-paste-XXXXXX");
    if (!file.open() || file.write(bytes) != bytes.size() || !file.flush())
        return Failure{Reason::WriteFailed, "Can't write a temporary file"};
    LoadOutcome load = pictorand::load(batchRequest(file.fileName().toStdString(), settings));
    if (!load.block)
        return Failure{Reason::CorruptData, loadFailureWords(load)};
    return std::move(load.block);
}

class PrinterPages : public PageSink {
public:
    PrinterPages(QPrinter& printer, QPainter& painter, const PrintOptions& options)
        : m_printer(printer), m_painter(painter), m_options(options)
    {
    }

    bool printPage(const ImageBlock& block) override
    {
        if (!m_first && !m_printer.newPage())
            return false;
        m_first = false;
        // The painter's origin is the printable area's corner, in printer
        // pixels at the printer's resolution.
        const PrintableArea area{m_printer.width(), m_printer.height(), static_cast<double>(m_printer.logicalDpiX()),
                                 static_cast<double>(m_printer.logicalDpiY())};
        const PrintRect target = printTarget(block.width(), block.height(), area, m_options);
        std::vector<uint8_t> scratch;
        const QImage image = blockImage(block, logicalPalette(block), scratch);
        if (image.isNull())
            return false;
        drawBlock(m_painter, image, QRect(0, 0, target.width, target.height));
        return true;
    }

private:
    QPrinter& m_printer;
    QPainter& m_painter;
    PrintOptions m_options;
    bool m_first = true;
};

bool runPrinterDialog(QPrinter& printer, QWidget* parent)
{
    QPrintDialog dialog(&printer, parent);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    return dialog.exec() == QDialog::Accepted;
}

SettingsFile registryStore()
{
    makeDirectories(configDirectory());
    return SettingsFile(configDirectory() + "/" + registry::kStoreFileName);
}

} // namespace

std::function<std::optional<PrintOptions>(QWidget*)> DesktopCommands::printOptionsChooser = &PrintOptionsDialog::ask;
std::function<bool(QPrinter&, QWidget*)> DesktopCommands::printerChooser = &runPrinterDialog;

DesktopCommands::DesktopCommands(PictureHost& host) : m_host(host) {}

void DesktopCommands::registerHandlers(CommandHandlers& handlers)
{
    using namespace command;
    handlers[Print] = [this] { print(); };
    handlers[PrintAllPages] = [this] { printAllPages(); };
    handlers[Copy] = [this] { copy(); };
    handlers[Paste] = [this] { paste(); };
    handlers[ClearClipboard] = [] { QGuiApplication::clipboard()->clear(); };
    handlers[WallpaperCentred] = [this] { setWallpaper(false); };
    handlers[WallpaperTiled] = [this] { setWallpaper(true); };
    handlers[PreviousWallpaper] = [this] { previousWallpaper(); };
}

// ---------------------------------------------------------------------------
// Printing

bool DesktopCommands::runPrintJob(const PrintOptions& options, const std::string& documentName, int pageCount,
                                  const std::function<Result<ImageBlock>(int)>& readPage, PagesPrinted& run)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QString::fromStdString(documentName));
    if (!printerChooser(printer, m_host.dialogParent()))
        return false;
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    PrinterPages pages(printer, painter, options);
    run = printPages(pageCount, readPage, pages);
    return painter.end() && !run.pageFailed;
}

void DesktopCommands::print()
{
    CurrentImage& image = m_host.picture();
    if (!image.block) {
        m_host.ui().showMessage(kNoPicture, MessageIcon::Warning);
        return;
    }
    std::optional<PrintOptions> options = printOptionsChooser(m_host.dialogParent());
    if (!options)
        return;
    PagesPrinted run;
    runPrintJob(*options, image.path, 1,
                [&](int) -> Result<ImageBlock> {
                    ImageBlock srgb = m_host.srgbCopyOf(image.block);
                    return srgb ? Result<ImageBlock>(std::move(srgb)) : duplicateBlock(image.block);
                },
                run);
}

void DesktopCommands::printAllPages()
{
    CurrentImage& image = m_host.picture();
    if (!image.multiPage)
        return;
    std::optional<PrintOptions> options = printOptionsChooser(m_host.dialogParent());
    if (!options)
        return;
    // Pages are read one at a time beside the picture on screen, which stays.
    const LoadRequest request = m_host.srgbRequest(image.path);
    PagesPrinted run;
    bool started = false;
    {
        WaitCursor waitCursor(m_host.ui());
        started = runPrintJob(*options, image.path, image.pageCount,
                              [&](int page) { return loadPage(request, page); }, run);
    }
    const PrintReport report = printAllPagesReport(run, started);
    m_host.ui().showMessage(report.text, MessageIcon::Information);
    m_host.ui().postCommand(command::FirstPage);
}

// ---------------------------------------------------------------------------
// The clipboard

QMimeData* DesktopCommands::clipboardData(const ImageBlock& block)
{
    auto* data = new QMimeData;
    // The block is a packed bitmap already: a file header makes it a BMP file.
    QByteArray bmp(14, '\0');
    storeLE16(reinterpret_cast<uint8_t*>(bmp.data()), 0x4D42);
    storeLE32(reinterpret_cast<uint8_t*>(bmp.data()) + 2, static_cast<uint32_t>(14 + block.size()));
    storeLE32(reinterpret_cast<uint8_t*>(bmp.data()) + 10, static_cast<uint32_t>(14 + block.pixelOffset()));
    bmp.append(reinterpret_cast<const char*>(block.data()), static_cast<qsizetype>(block.size()));
    data->setData("image/bmp", bmp);

    std::vector<uint8_t> scratch;
    const QImage image = blockImage(block, logicalPalette(block), scratch).mirrored();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (image.save(&buffer, "PNG"))
        data->setData("image/png", png);
    data->setImageData(image);
    return data;
}

void DesktopCommands::copy()
{
    const ImageBlock& block = m_host.picture().block;
    if (!block || !block.isConsistent())
        return;
    // Other programs take the clipboard's numbers for sRGB.
    const ImageBlock srgb = m_host.srgbCopyOf(block);
    QGuiApplication::clipboard()->setMimeData(clipboardData(srgb ? srgb : block));
}

bool DesktopCommands::clipboardHasImage()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && (data->hasImage() || !pasteFlavours(data).isEmpty());
}

Result<ImageBlock> DesktopCommands::clipboardPicture(const QMimeData* data, const SettingsFile& settings)
{
    if (!data)
        return Failure{Reason::NotThisFormat, {}};
    std::optional<Failure> first;
    for (const QString& flavour : pasteFlavours(data)) {
        QByteArray bytes = data->data(flavour);
        if (bytes.isEmpty())
            continue;
        // A packed bitmap without its file header is told by its first
        // bytes and read as a bitmap file, like a headerless .dib.
        Result<ImageBlock> block = decodeBytes(bytes, settings);
        if (block)
            return block;
        first = first.value_or(block.failure());
    }
    // Qt's own image, put there by this program: through PNG, so our reader
    // still checks it. (Another program's would be decoded by Qt here, in
    // the viewer itself, rather than by a confined decoder.)
    if (data->hasImage() && QGuiApplication::clipboard()->ownsClipboard()) {
        const QImage image = qvariant_cast<QImage>(data->imageData());
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!image.isNull() && image.save(&buffer, "PNG"))
            return decodeBytes(png, settings);
    }
    return first.value_or(Failure{Reason::NotThisFormat, {}});
}

void DesktopCommands::paste()
{
    WaitCursor waitCursor(m_host.ui());
    Result<ImageBlock> pasted = clipboardPicture(QGuiApplication::clipboard()->mimeData(), m_host.settings());
    // Only a picture that decoded replaces the one on screen.
    if (!pasted) {
        waitCursor.release();
        const std::string detail = pasted.failure().detail;
        m_host.ui().showMessage(detail.empty() ? kCantPaste : formatted("%s\n\n%s", kCantPaste, detail.c_str()),
                                MessageIcon::Warning);
        return;
    }
    ImageBlock block = withDepthColorCount(pasted.take());
    if (!block) {
        waitCursor.release();
        m_host.ui().showMessage(kCantAllocateMemory, MessageIcon::Warning);
        return;
    }
    CurrentImage& image = m_host.picture();
    m_host.adoptSrgbPicture(std::move(block));
    image.path = kClipboardPath;
    image.resetAllButBlock();
    image.format = ImageFormat::Bmp;
    image.compression.clear();
    image.pageOffsets.clear();
    image.originalWidth = image.currentWidth;
    image.originalHeight = image.currentHeight;
    image.originalBitCount = image.currentBitCount;
    m_host.resetViewerState();
    m_host.showAtFullSize(image.currentWidth, image.currentHeight);
    if (m_host.metrics().paletteDisplay() && image.block.bitCount() == 24) {
        Result<ImageBlock> quantised = quantise(image.block, 256);
        if (!quantised) {
            waitCursor.release();
            m_host.ui().showMessage("Can't quantize to 256 colors !", MessageIcon::Warning);
            return;
        }
        m_host.adoptPicture(quantised.take());
    }
    m_host.repaintPicture();
}

// ---------------------------------------------------------------------------
// The wallpaper

void DesktopCommands::setWallpaper(bool tiled)
{
    const ImageBlock& shown = m_host.shownBlock();
    if (!shown)
        return;
    WaitCursor waitCursor(m_host.ui());
    makeDirectories(configDirectory());
    const std::string path = configDirectory() + "/" + kWallpaperFileName;
    // The desktop takes the file for sRGB, as it does every other wallpaper.
    const ImageBlock srgb = m_host.srgbCopyOf(shown);
    Status written = writeBmp(path, srgb ? srgb : shown);
    if (!written) {
        waitCursor.release();
        m_host.ui().showMessage(formatted("BMP %s - %s", kSaveError, written.text().c_str()),
                                MessageIcon::Information);
        return;
    }
    SettingsFile store = registryStore();
    const DesktopWallpaper desktop;
    const std::optional<WallpaperRecord> before = desktop.shown();
    const WallpaperStyle style = tiled ? WallpaperStyle::Tiled : WallpaperStyle::Centred;
    Result<std::string> given = desktop.apply(path, style, store.readText(registry::Wallpaper));
    if (!given) {
        waitCursor.release();
        m_host.ui().showMessage(given.failure().detail, MessageIcon::Warning);
        return;
    }
    // Recorded once the desktop took it, so a refusal leaves the store as
    // it was.
    recordWallpaper(store, {*given, tiled}, before);
}

void DesktopCommands::previousWallpaper()
{
    WaitCursor waitCursor(m_host.ui());
    SettingsFile store = registryStore();
    std::optional<WallpaperRecord> previous = pictorand::previousWallpaper(store);
    if (!previous) {
        waitCursor.release();
        m_host.ui().showMessage("No previous wallpaper !", MessageIcon::Information);
        return;
    }
    const DesktopWallpaper desktop;
    Result<std::string> given = desktop.apply(previous->path, previous->tiled ? WallpaperStyle::Tiled : WallpaperStyle::Centred,
                                              store.readText(registry::Wallpaper));
    if (!given) {
        waitCursor.release();
        m_host.ui().showMessage(given.failure().detail, MessageIcon::Warning);
        return;
    }
    recordRestored(store, {*given, previous->tiled});
}

} // namespace pictorand
