#include "codecs/avif/sequence_plays.h"
#include "codecs/common/box_header.h"
#include "codecs/common/span_reader.h"

#include <limits>
#include <optional>

namespace pictorand {

namespace {

constexpr uint32_t boxType(const char (&name)[5])
{
    return uint32_t(uint8_t(name[0])) << 24 | uint32_t(uint8_t(name[1])) << 16 | uint32_t(uint8_t(name[2])) << 8
        | uint32_t(uint8_t(name[3]));
}

struct Box {
    uint32_t type = 0;
    std::span<const uint8_t> body;
};

// The boxes one after another in `bytes` (a file or a box's body). A box
// whose size does not fit what holds it ends the walk: nothing after it can
// be found where it says.
class BoxWalk {
public:
    explicit BoxWalk(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

    std::optional<Box> next()
    {
        const std::optional<BoxHeader> header = readBoxHeader(m_bytes);
        if (!header)
            return std::nullopt;
        const uint64_t size = header->size == 0 ? m_bytes.size() : header->size;
        SpanReader reader(m_bytes);
        reader.skip(header->headerSize);
        if (header->type == boxType("uuid"))
            reader.skip(16);
        if (!reader.ok() || size < reader.position() || size > m_bytes.size())
            return std::nullopt;
        Box box{header->type, m_bytes.subspan(reader.position(), size_t(size) - reader.position())};
        m_bytes = m_bytes.subspan(size_t(size));
        return box;
    }

private:
    std::span<const uint8_t> m_bytes;
};

// The body of the first box of `type` directly in `bytes`.
std::optional<std::span<const uint8_t>> child(std::span<const uint8_t> bytes, uint32_t type)
{
    BoxWalk walk(bytes);
    while (std::optional<Box> box = walk.next())
        if (box->type == type)
            return box->body;
    return std::nullopt;
}

// A full box's version and flags, the reader left after them.
struct FullBoxHeader {
    uint8_t version = 0;
    uint32_t flags = 0;
};
FullBoxHeader readFullBoxHeader(SpanReader& reader)
{
    const uint32_t word = reader.u32be();
    return {uint8_t(word >> 24), word & 0xFFFFFF};
}

// A 32-bit field in version 0 boxes, 64-bit in version 1; all ones (in
// either width) as the 64-bit all ones.
uint64_t versionedField(SpanReader& reader, uint8_t version)
{
    if (version == 1) {
        const uint64_t high = reader.u32be();
        return high << 32 | reader.u32be();
    }
    const uint32_t value = reader.u32be();
    return value == std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint64_t>::max() : value;
}

// mvhd and mdhd alike: creation and modification times, the timescale and
// the duration in it.
struct Timing {
    uint32_t timescale = 0;
    uint64_t duration = 0;
};
std::optional<Timing> readTiming(std::span<const uint8_t> body)
{
    SpanReader reader(body);
    const FullBoxHeader header = readFullBoxHeader(reader);
    versionedField(reader, header.version); // creation
    versionedField(reader, header.version); // modification
    Timing timing;
    timing.timescale = reader.u32be();
    timing.duration = versionedField(reader, header.version);
    return reader.ok() && header.version <= 1 ? std::optional<Timing>(timing) : std::nullopt;
}

// tkhd: the track's duration, in the movie's timescale.
std::optional<uint64_t> readTrackDuration(std::span<const uint8_t> body)
{
    SpanReader reader(body);
    const FullBoxHeader header = readFullBoxHeader(reader);
    versionedField(reader, header.version); // creation
    versionedField(reader, header.version); // modification
    reader.u32be();                         // track id
    reader.u32be();                         // reserved
    const uint64_t duration = versionedField(reader, header.version);
    return reader.ok() && header.version <= 1 ? std::optional<uint64_t>(duration) : std::nullopt;
}

// elst: whether the list repeats; none when its entries do not fit.
std::optional<bool> readEditListRepeats(std::span<const uint8_t> body)
{
    SpanReader reader(body);
    const FullBoxHeader header = readFullBoxHeader(reader);
    const uint64_t entries = reader.u32be();
    const uint64_t entrySize = header.version == 1 ? 20 : 12;
    if (!reader.ok() || header.version > 1 || entries > reader.remaining() / entrySize)
        return std::nullopt;
    return (header.flags & 1) != 0;
}

bool isPictureTrack(std::span<const uint8_t> media)
{
    const std::optional<std::span<const uint8_t>> handler = child(media, boxType("hdlr"));
    if (!handler)
        return false;
    SpanReader reader(*handler);
    readFullBoxHeader(reader);
    reader.u32be(); // pre-defined
    return reader.u32be() == boxType("pict") && reader.ok();
}

constexpr int kForEver = 0;

// ceil((track / movieTimescale) / (media / mediaTimescale)) exactly; the
// products take up to 96 bits.
int playsOver(uint64_t track, uint32_t movieTimescale, uint64_t media, uint32_t mediaTimescale)
{
    __extension__ using Wide = unsigned __int128;
    const Wide numerator = Wide(track) * mediaTimescale;
    const Wide denominator = Wide(media) * movieTimescale;
    if (denominator == 0)
        return kForEver;
    const Wide plays = numerator / denominator + (numerator % denominator != 0 ? 1 : 0);
    if (plays == 0) // a track shorter than nothing still shows its media once
        return 1;
    return plays > Wide(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max() : int(plays);
}

int playsOfTrack(std::span<const uint8_t> track, const Timing& movie)
{
    const std::optional<std::span<const uint8_t>> edits = child(track, boxType("edts"));
    const std::optional<std::span<const uint8_t>> list = edits ? child(*edits, boxType("elst")) : std::nullopt;
    if (!list)
        return kForEver;
    const std::optional<bool> repeats = readEditListRepeats(*list);
    if (!repeats)
        return kForEver;
    if (!*repeats)
        return 1;
    const std::optional<std::span<const uint8_t>> header = child(track, boxType("tkhd"));
    const std::optional<uint64_t> trackDuration = header ? readTrackDuration(*header) : std::nullopt;
    if (!trackDuration || *trackDuration == std::numeric_limits<uint64_t>::max())
        return kForEver;
    const std::optional<std::span<const uint8_t>> media = child(track, boxType("mdia"));
    const std::optional<std::span<const uint8_t>> mediaHeader = media ? child(*media, boxType("mdhd")) : std::nullopt;
    const std::optional<Timing> mediaTiming = mediaHeader ? readTiming(*mediaHeader) : std::nullopt;
    if (!mediaTiming || mediaTiming->duration == std::numeric_limits<uint64_t>::max())
        return kForEver;
    return playsOver(*trackDuration, movie.timescale, mediaTiming->duration, mediaTiming->timescale);
}

} // namespace

int avifSequencePlays(std::span<const uint8_t> file)
{
    const std::optional<std::span<const uint8_t>> movie = child(file, boxType("moov"));
    const std::optional<std::span<const uint8_t>> movieHeader = movie ? child(*movie, boxType("mvhd")) : std::nullopt;
    const std::optional<Timing> movieTiming = movieHeader ? readTiming(*movieHeader) : std::nullopt;
    if (!movieTiming)
        return kForEver;
    // The colour track; an alpha track (handler auxv) follows what it is for.
    BoxWalk walk(*movie);
    while (std::optional<Box> box = walk.next()) {
        if (box->type != boxType("trak"))
            continue;
        const std::optional<std::span<const uint8_t>> media = child(box->body, boxType("mdia"));
        if (media && isPictureTrack(*media))
            return playsOfTrack(box->body, *movieTiming);
    }
    return kForEver;
}

} // namespace pictorand
