#include "tests/desktop/desktop_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
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

} // namespace pictorand::testing
