#pragma once
// A viewer on a fixed display with a scripted user interface, and the
// helpers the desktop tests share.

#include "tests/desktop/private_session.h"
#include "tests/shell/viewer_fixture.h"

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace pictorand::testing {

class DesktopTest : public ViewerFixture {
protected:
    std::vector<std::string> messages() const
    {
        std::vector<std::string> texts;
        for (const RecordedMessage& message : ui.messages)
            texts.push_back(message.text);
        return texts;
    }
};

// A 24-bit picture, (x, y) counted from the top, colour 0xRRGGBB.
ImageBlock trueColorPicture(int width, int height, uint32_t (*colour)(int x, int y));

// A picture whose every pixel differs from its neighbours: drawn with its
// pixels doubled, or straddling two, it is found nowhere on a screen.
ImageBlock distinctPixels(int width, int height);

// Runs a program while this process goes on answering X11 and D-Bus
// requests (the clipboard's owner must serve the paste); its standard
// output, or nothing when it failed or took over 20 s.
std::optional<QByteArray> runServing(const QString& program, const QStringList& arguments, const QByteArray& input = {});

// A viewer process showing `file` on the display this process uses, its
// start-up traced; `scale` is its QT_SCALE_FACTOR. Ended with the object.
class ViewerProcess {
public:
    ViewerProcess(const std::string& file, QStringList arguments, const QString& scale = {});
    ~ViewerProcess();
    // The first picture was drawn (within 20 s).
    bool painted();
    QProcess process;

private:
    QByteArray m_trace;
};

// What the X server `display` shows, read once `picture` is among it (at
// `at`, when given), or after 10 s; this process's events are handled while
// it waits.
RgbImage screenShowing(const std::string& display, const RgbImage& picture, const std::string& scratchFile,
                       std::optional<std::pair<int, int>> at = std::nullopt);

} // namespace pictorand::testing
