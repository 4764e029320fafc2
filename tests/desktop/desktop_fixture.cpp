#include "tests/desktop/desktop_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QThread>

namespace pictorand::testing {

ImageBlock trueColorPicture(int width, int height, uint32_t (*colour)(int x, int y))
{
    ImageBlock block = ImageBlock::create(width, height, 24, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t value = colour(x, y);
            uint8_t* pixel = block.topRow(y) + x * 3;
            pixel[0] = static_cast<uint8_t>(value);
            pixel[1] = static_cast<uint8_t>(value >> 8);
            pixel[2] = static_cast<uint8_t>(value >> 16);
        }
    return block;
}

ImageBlock distinctPixels(int width, int height)
{
    return trueColorPicture(width, height, [](int x, int y) {
        return static_cast<uint32_t>(x * 6 % 256) << 16 | static_cast<uint32_t>(y * 8 % 256) << 8
               | ((x + y) % 2 ? 0xC0u : 0x35u);
    });
}

std::optional<QByteArray> runServing(const QString& program, const QStringList& arguments, const QByteArray& input)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(5000))
        return std::nullopt;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    QElapsedTimer clock;
    clock.start();
    while (process.state() != QProcess::NotRunning && clock.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

ViewerProcess::ViewerProcess(const std::string& file, QStringList arguments, const QString& scale)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PICTORAND_TRACE_STARTUP", "1");
    if (!scale.isEmpty())
        env.insert("QT_SCALE_FACTOR", scale);
    process.setProcessEnvironment(env);
    process.start(PICTORAND_VIEWER_PATH, arguments << QString::fromStdString(file));
}

ViewerProcess::~ViewerProcess()
{
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished(1000);
}

bool ViewerProcess::painted()
{
    QElapsedTimer clock;
    clock.start();
    while (!m_trace.contains("picture drawn") && clock.elapsed() < 20000 && process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(100);
        m_trace += process.readAllStandardError();
    }
    return m_trace.contains("picture drawn");
}

RgbImage screenShowing(const std::string& display, const RgbImage& picture, const std::string& scratchFile,
                       std::optional<std::pair<int, int>> at)
{
    RgbImage shown;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        if (runCommand("import -display " + display + " -window root " + shellQuote(scratchFile)) == 0)
            shown = magickDecode(scratchFile).value_or(RgbImage{});
        const std::optional<std::pair<int, int>> found = findPicture(shown, picture);
        if (found && (!at || found == at))
            break;
        QTest::qWait(100); // a window of this process paints meanwhile
    }
    return shown;
}

} // namespace pictorand::testing
