#include "dispatch/read_ahead.h"

#include "dispatch/load_dispatch.h"

#include <algorithm>
#include <chrono>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace pictorand {

bool ReadAhead::formatQualifies(ImageFormat format)
{
    // GIF may animate, TIFF has pages, Photo CD overviews and icons ask the
    // viewer, media and metafiles are not read into blocks.
    return formatInfo(format).multiImage == MultiImage::Single;
}

uint64_t ReadAhead::defaultBudget()
{
    constexpr uint64_t kMost = uint64_t(1) << 30;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return kMost / 4;
    return std::min(kMost, static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) / 4);
}

ReadAhead::FileStamp ReadAhead::stampOf(const std::string& path)
{
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        return {};
    return {static_cast<int64_t>(status.st_size),
            static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
}

ReadAhead::ReadAhead(uint64_t budgetBytes, const CodecRegistry& registry)
    : m_registry(registry), m_budget(budgetBytes)
{
    try {
        m_worker = std::thread([this] { work(); });
    } catch (const std::system_error&) {
        // No thread: nothing is read ahead and every load reads for itself.
    }
}

std::unique_ptr<ReadAhead> ReadAhead::start(const std::string& path, bool loadGreyscale,
                                             const CodecRegistry& registry)
{
    const std::optional<ImageFormat> format = DetectFormat(path);
    if (!format || !formatQualifies(*format) || !registry.reader(*format))
        return nullptr;
    auto ahead = std::make_unique<ReadAhead>(defaultBudget(), registry);
    if (!ahead->m_worker.joinable())
        return nullptr;
    ahead->request({path}, loadGreyscale);
    return ahead;
}

ReadAhead::~ReadAhead()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

bool ReadAhead::wanted(const std::string& path) const
{
    return std::find(m_wanted.begin(), m_wanted.end(), path) != m_wanted.end();
}

void ReadAhead::request(const std::vector<std::string>& paths, bool loadGreyscale)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_worker.joinable() || (paths == m_wanted && loadGreyscale == m_greyscale))
            return;
        m_wanted = paths;
        m_greyscale = loadGreyscale;
        std::erase_if(m_kept, [&](const Entry& entry) {
            return !wanted(entry.path) || entry.greyscale != loadGreyscale;
        });
        m_queue.clear();
        for (const std::string& path : paths) {
            const bool kept = std::any_of(m_kept.begin(), m_kept.end(),
                                          [&](const Entry& entry) { return entry.path == path; });
            if (!kept && path != m_reading)
                m_queue.push_back(path);
        }
    }
    m_changed.notify_all();
}

void ReadAhead::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_stop)
            return;
        Entry entry;
        entry.path = m_queue.front();
        m_queue.erase(m_queue.begin());
        entry.greyscale = m_greyscale;
        m_reading = entry.path;
        lock.unlock();

        entry.stamp = stampOf(entry.path);
        const std::optional<ImageFormat> format = DetectFormat(entry.path);
        const ReaderFunction reader = format && formatQualifies(*format) ? m_registry.reader(*format) : nullptr;
        bool keep = reader != nullptr;
        if (reader) {
            entry.format = *format;
            ReadRequest request;
            request.path = entry.path;
            request.greyscale = entry.greyscale;
            using namespace std::chrono;
            const auto started = steady_clock::now();
            pictorand::Result<DecodedImage> read = reader(request);
            entry.result.milliseconds = duration_cast<milliseconds>(steady_clock::now() - started).count();
            if (read)
                entry.result.decoded = std::move(*read);
            else
                entry.result.message = read.failure().detail;
            entry.bytes = entry.result.decoded.block.size();
            // A file written while it was read may have given a torn picture.
            keep = stampOf(entry.path) == entry.stamp;
        }

        lock.lock();
        m_reading.clear();
        uint64_t kept = 0;
        for (const Entry& other : m_kept)
            kept += other.bytes;
        // Only what is still wanted, as read for the present wish, within
        // the budget.
        if (keep && wanted(entry.path) && entry.greyscale == m_greyscale && kept + entry.bytes <= m_budget)
            m_kept.push_back(std::move(entry));
        m_changed.notify_all();
    }
}

bool ReadAhead::ready(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    return std::any_of(m_kept.begin(), m_kept.end(), [&](const Entry& entry) { return entry.path == path; });
}

std::optional<ReadAhead::Result> ReadAhead::take(ImageFormat format, const ReadRequest& request)
{
    std::unique_lock lock(m_mutex);
    // A read under way, or about to begin on an idle worker, is nearer its
    // end than a new one would be.
    m_changed.wait(lock, [&] {
        const bool next = m_reading.empty() && !m_queue.empty() && m_queue.front() == request.path && !m_stop;
        return m_reading != request.path && !next;
    });
    std::erase(m_queue, request.path);
    auto found = std::find_if(m_kept.begin(), m_kept.end(),
                              [&](const Entry& entry) { return entry.path == request.path; });
    if (found == m_kept.end())
        return std::nullopt;
    Entry entry = std::move(*found);
    m_kept.erase(found);
    lock.unlock();
    // The fields the qualifying readers look at.
    if (format != entry.format || request.greyscale != entry.greyscale || request.paletteDisplay
        || request.previewWidth != 0)
        return std::nullopt;
    if (stampOf(request.path) != entry.stamp)
        return std::nullopt; // changed on disk since it was read
    return std::move(entry.result);
}

uint64_t ReadAhead::keptBytes() const
{
    std::lock_guard lock(m_mutex);
    uint64_t bytes = 0;
    for (const Entry& entry : m_kept)
        bytes += entry.bytes;
    return bytes;
}

} // namespace pictorand
