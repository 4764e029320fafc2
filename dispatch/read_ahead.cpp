#include "dispatch/read_ahead.h"

#include <algorithm>
#include <chrono>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace pictorand {

namespace {

// The request as it matters to a format that qualifies: a single picture
// reads the same whatever the options of frames, pages, sheets and icons
// say (a load in full screen, which shows no animation, takes what was read
// before it).
LoadRequest essential(LoadRequest request)
{
    const LoadOptions defaults;
    request.options.animate = defaults.animate;
    request.options.page = defaults.page;
    request.options.overviewStart = defaults.overviewStart;
    request.options.icon = defaults.icon;
    request.options.photoCdLoadingSize = defaults.photoCdLoadingSize;
    return request;
}

} // namespace

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

std::unique_ptr<ReadAhead> ReadAhead::start(const LoadRequest& request, const CodecRegistry& registry)
{
    const std::optional<ImageFormat> format = DetectFormat(request.file.path);
    if (!format || !formatQualifies(*format) || !registry.reader(*format))
        return nullptr;
    auto ahead = std::make_unique<ReadAhead>(defaultBudget(), registry);
    if (!ahead->m_worker.joinable())
        return nullptr;
    ahead->request({request});
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

bool ReadAhead::wanted(const LoadRequest& request) const
{
    return std::find(m_wanted.begin(), m_wanted.end(), request) != m_wanted.end();
}

void ReadAhead::request(const std::vector<LoadRequest>& asked)
{
    std::vector<LoadRequest> wishes;
    for (const LoadRequest& wish : asked)
        wishes.push_back(essential(wish));
    {
        std::lock_guard lock(m_mutex);
        if (!m_worker.joinable() || wishes == m_wanted)
            return;
        m_wanted = wishes;
        std::erase_if(m_kept, [&](const Entry& entry) { return !wanted(entry.request); });
        m_queue.clear();
        for (const LoadRequest& wish : wishes) {
            const bool kept = std::any_of(m_kept.begin(), m_kept.end(),
                                          [&](const Entry& entry) { return entry.request == wish; });
            if (!kept && m_loading != wish)
                m_queue.push_back(wish);
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
        entry.request = m_queue.front();
        m_queue.erase(m_queue.begin());
        m_loading = entry.request;
        lock.unlock();

        const std::string& path = entry.request.file.path;
        entry.stamp = stampOf(path);
        const std::optional<ImageFormat> format = DetectFormat(path);
        bool keep = format && formatQualifies(*format) && m_registry.reader(*format);
        if (keep) {
            // An animation (WebP, APNG, AVIF, JPEG XL) is not kept: its frames
            // would cost the budget many pictures, and a load in full screen
            // asks for its first picture alone. The format's check finds it
            // before a frame is decoded.
            LoadRequest asked = entry.request;
            asked.options.leaveAnimationsUnread = true;
            entry.outcome = load(asked, m_registry);
            entry.bytes = entry.outcome.block.size();
            // A file written while it was read may have given a torn picture;
            // a format without a check gives the frames, which go.
            const LoadOutcome::Kind kind = entry.outcome.kind;
            keep = stampOf(path) == entry.stamp && kind != LoadOutcome::Kind::Animation
                && kind != LoadOutcome::Kind::Unread;
        }

        lock.lock();
        m_loading.reset();
        uint64_t kept = 0;
        for (const Entry& other : m_kept)
            kept += other.bytes;
        // Only what is still wanted, within the budget.
        if (keep && wanted(entry.request) && kept + entry.bytes <= m_budget)
            m_kept.push_back(std::move(entry));
        m_changed.notify_all();
    }
}

bool ReadAhead::ready(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    return std::any_of(m_kept.begin(), m_kept.end(),
                       [&](const Entry& entry) { return entry.request.file.path == path; });
}

std::optional<LoadOutcome> ReadAhead::take(const LoadRequest& request)
{
    const std::string& path = request.file.path;
    const auto samePath = [&](const LoadRequest& other) { return other.file.path == path; };
    std::unique_lock lock(m_mutex);
    // A load under way, or about to begin on an idle worker, is nearer its
    // end than a new one would be.
    m_changed.wait(lock, [&] {
        const bool next = !m_loading && !m_queue.empty() && samePath(m_queue.front()) && !m_stop;
        return !(m_loading && samePath(*m_loading)) && !next;
    });
    std::erase_if(m_queue, samePath);
    auto found = std::find_if(m_kept.begin(), m_kept.end(), [&](const Entry& entry) { return samePath(entry.request); });
    if (found == m_kept.end())
        return std::nullopt;
    Entry entry = std::move(*found);
    m_kept.erase(found);
    lock.unlock();
    if (entry.request != essential(request) || stampOf(path) != entry.stamp)
        return std::nullopt; // asked otherwise, or changed on disk since it was read
    return std::move(entry.outcome);
}

uint64_t ReadAhead::keptBytes() const
{
    std::lock_guard lock(m_mutex);
    uint64_t bytes = 0;
    for (const Entry& entry : m_kept)
        bytes += entry.bytes;
    return bytes;
}

LoadOutcome loadOrTake(ReadAhead* ahead, const LoadRequest& request, const CodecRegistry& registry)
{
    if (ahead)
        if (std::optional<LoadOutcome> taken = ahead->take(request))
            return std::move(*taken);
    return load(request, registry);
}

} // namespace pictorand
