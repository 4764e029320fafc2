#pragma once
// A viewer on a fixed display with a scripted user interface, and the
// helpers the desktop tests share.

#include "tests/desktop/private_session.h"
#include "tests/shell/viewer_fixture.h"

#include <QByteArray>
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

// Runs a program while this process goes on answering X11 and D-Bus
// requests (the clipboard's owner must serve the paste); its standard
// output, or nothing when it failed or took over 20 s.
std::optional<QByteArray> runServing(const QString& program, const QStringList& arguments, const QByteArray& input = {});

} // namespace pictorand::testing
