#include "dispatch/page_load.h"

#include "codecs/photocd/photocd.h"
#include "dispatch/load_dispatch.h"

namespace pictorand {

namespace {

// An overview pack holds at most this many thumbnails.
constexpr int kOverviewPictures = 100;

} // namespace

int nextOverviewStart(int start)
{
    const int next = start + kOverviewThumbnailsPerSheet;
    return next >= 1 && next <= kOverviewPictures ? next : 0;
}

Result<ImageBlock> loadPage(LoadRequest request, int page, const CodecRegistry& registry)
{
    request.options.page = page;
    LoadOutcome outcome = load(request, registry);
    if (outcome.kind != LoadOutcome::Kind::Picture) {
        const std::string words = loadFailureWords(outcome);
        return Failure{outcome.failure.reason, words.empty() ? kDecodeError : words};
    }
    return std::move(outcome.block);
}

} // namespace pictorand
