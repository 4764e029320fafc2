#include "dispatch/read_ahead.h"

#include "dispatch/load_dispatch.h"

#include <chrono>
#include <system_error>

namespace pictorand {

bool ReadAhead::formatQualifies(ImageFormat format)
{
    // GIF may animate, TIFF has pages, Photo CD overviews and icons ask the
    // viewer, media and metafiles are not read into blocks.
    return formatInfo(format).multiImage == MultiImage::Single;
}

std::unique_ptr<ReadAhead> ReadAhead::start(const std::string& path, bool loadGreyscale,
                                             const CodecRegistry& registry)
{
    const std::optional<ImageFormat> format = DetectFormat(path);
    if (!format || !formatQualifies(*format))
        return nullptr;
    const ReaderFunction reader = registry.reader(*format);
    if (!reader)
        return nullptr;

    std::unique_ptr<ReadAhead> ahead(new ReadAhead);
    ahead->m_format = *format;
    ahead->m_request.path = path;
    ahead->m_request.greyscale = loadGreyscale;
    ReadAhead* self = ahead.get();
    try {
        ahead->m_worker = std::thread([self, reader] {
            using namespace std::chrono;
            const auto started = steady_clock::now();
            pictorand::Result<DecodedImage> read = reader(self->m_request);
            if (read) {
                self->m_result.block = std::move(read->block);
                self->m_result.compression = std::move(read->compression);
                self->m_result.quarterTurnsClockwise = read->quarterTurnsClockwise;
                self->m_result.orientation = read->orientation;
                self->m_result.iccProfile = std::move(read->iccProfile);
                self->m_result.warning = std::move(read->warning);
            } else {
                self->m_result.message = read.failure().detail;
            }
            self->m_result.milliseconds = duration_cast<milliseconds>(steady_clock::now() - started).count();
            self->m_done.store(true, std::memory_order_release);
        });
    } catch (const std::system_error&) {
        return nullptr; // no thread: the display load reads the file itself
    }
    return ahead;
}

ReadAhead::~ReadAhead()
{
    if (m_worker.joinable())
        m_worker.join();
}

bool ReadAhead::ready(const std::string& path) const
{
    return !m_taken && path == m_request.path && m_done.load(std::memory_order_acquire);
}

std::optional<ReadAhead::Result> ReadAhead::take(ImageFormat format, const ReadRequest& request)
{
    if (m_worker.joinable())
        m_worker.join();
    // Only the first load may use it: a later one must see the file as it is
    // then.
    if (m_taken)
        return std::nullopt;
    m_taken = true;
    Result result = std::move(m_result);
    m_result = Result();
    // The fields the qualifying readers look at.
    if (format != m_format || request.path != m_request.path || request.greyscale != m_request.greyscale
        || request.paletteDisplay != m_request.paletteDisplay || request.previewWidth != m_request.previewWidth)
        return std::nullopt;
    return result;
}

} // namespace pictorand
