#pragma once
// The eight ways a picture can be turned and mirrored, as one value: first
// mirrored left to right (or not), then turned clockwise by quarter turns.
// Quarter turns, flips and the EXIF orientation compose into one, so that a
// JPEG can be turned once, block by block, whatever led to it.

namespace pictorand {

struct Turn {
    bool mirrored = false;
    int quarterTurns = 0; // clockwise, 0 to 3

    static constexpr Turn clockwise(int quarters) { return {false, ((quarters % 4) + 4) % 4}; }
    static constexpr Turn mirrorLeftRight() { return {true, 0}; }
    static constexpr Turn mirrorTopBottom() { return {true, 2}; }

    // What makes a picture stored with that EXIF/TIFF orientation (1 to 8)
    // upright; another value is taken as upright.
    static constexpr Turn upright(int orientation)
    {
        constexpr Turn byOrientation[9] = {{}, {false, 0}, {true, 0}, {false, 2}, {true, 2},
                                           {true, 3}, {false, 1}, {true, 1}, {false, 3}};
        return orientation >= 1 && orientation <= 8 ? byOrientation[orientation] : Turn{};
    }

    // This turn, then `next`. A mirror undoes the sense of the turns before it.
    constexpr Turn then(Turn next) const
    {
        if (!next.mirrored)
            return {mirrored, (quarterTurns + next.quarterTurns) % 4};
        return {!mirrored, ((next.quarterTurns - quarterTurns) % 4 + 4) % 4};
    }

    constexpr bool isNone() const { return !mirrored && quarterTurns == 0; }
    // True when width and height change places.
    constexpr bool exchangesSides() const { return quarterTurns % 2 == 1; }
    friend constexpr bool operator==(Turn, Turn) = default;
};

} // namespace pictorand
