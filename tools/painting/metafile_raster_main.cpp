// pictorand32-metafile-raster PATH WIDTH HEIGHT OUT.bmp < OUTCOME
//
// The converter's metafile painter, as a program of its own: the painter
// needs Qt, and linked into the converter Qt alone cost every run about
// 20 ms to start, most of what a small conversion takes, and tied any batch
// holding a metafile to the one thread Qt's application object lives on.
// It never opens PATH: standard input holds the load's outcome for PATH, as
// the confined decoder sent it, and is checked here as any worker's answer.
// Draws it on white into a 24-bit BMP of WIDTH x HEIGHT, or of its natural
// size when both are 0; a failure is told on standard error, in the words
// the converter reports, with exit status 1.

#include "codecs/bmp/bmp.h"
#include "dispatch/load_wire.h"
#include "tools/painting/metafile_painter.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

int fail(const std::string& words)
{
    std::fputs(words.c_str(), stderr);
    return 1;
}

std::vector<uint8_t> readStandardInput()
{
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got > 0)
            bytes.insert(bytes.end(), buffer, buffer + got);
        else if (got == 0 || errno != EINTR)
            return bytes;
    }
}

} // namespace

int main(int argc, char** argv)
{
    using namespace pictorand;
    if (argc != 5)
        return fail("Usage: pictorand32-metafile-raster PATH WIDTH HEIGHT OUT.bmp < OUTCOME");
    int width = std::atoi(argv[2]);
    int height = std::atoi(argv[3]);
    const LoadRequest request{{argv[1]}, LoadPurpose::View, {}};
    const std::optional<LoadOutcome> outcome = decodeLoadOutcome(readStandardInput(), request, nullptr);
    if (!outcome || !outcome->drawing)
        return fail(std::string(argv[1]) + ": the drawing handed to the painter does not hold up");
    const metafile::Drawing& drawing = *outcome->drawing;
    if (width <= 0 || height <= 0) {
        width = static_cast<int>(drawing.width);
        height = static_cast<int>(drawing.height);
    }
    // Fonts need a GUI application, and there is no screen to show one on.
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication application(argc, argv);
    const ImageBlock block = renderDrawingToBlock(drawing, width, height);
    if (!block)
        return fail(failureText(outOfMemory()));
    if (Status written = writeBmp(argv[4], block); !written)
        return fail(written.text());
    return 0;
}
