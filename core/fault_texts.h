#pragma once
// A codec's words for what it could not do. Each codec folder keeps one
// table of them in its header, keyed by the folder's own names for its
// faults, and says them only through it: a failure carries its reason (what
// callers branch on) and the table's words for the fault (what the user
// reads), so a fault met at several places reads the same at each. The
// folder registers its table where it registers its formats
// (CodecRegistry::registerTexts), so every word a codec can say is listed.
// Words that more than one codec or layer says are core/messages.h's; words
// that only go to a log are in no table.
//
// The tables are per folder rather than one table here, which would have to
// name every codec's faults and grow with each codec folder, when a new
// format is to add that folder and nothing else.

#include "core/result.h"

#include <array>
#include <cstddef>
#include <string_view>
#include <vector>

namespace pictorand {

template <class Fault>
struct FaultText {
    Fault fault;
    const char* text;
};

template <class Fault, size_t Count>
struct FaultTexts {
    std::array<FaultText<Fault>, Count> rows;

    // Every fault at most once, each with words.
    constexpr bool sound() const
    {
        for (size_t i = 0; i < Count; ++i) {
            if (!rows[i].text || !*rows[i].text)
                return false;
            for (size_t j = 0; j < i; ++j)
                if (rows[j].fault == rows[i].fault || std::string_view(rows[j].text) == rows[i].text)
                    return false;
        }
        return true;
    }
    // The fault's words; empty for a fault the table lacks, which the reason's
    // own words then stand for (failureText).
    constexpr const char* operator[](Fault fault) const
    {
        for (const FaultText<Fault>& row : rows)
            if (row.fault == fault)
                return row.text;
        return "";
    }
    Failure failure(Reason reason, Fault fault) const { return {reason, (*this)[fault]}; }
    // The words alone, as the folder registers them.
    std::vector<const char*> texts() const
    {
        std::vector<const char*> all;
        for (const FaultText<Fault>& row : rows)
            all.push_back(row.text);
        return all;
    }
};

// `faultTexts<BmpFault>({{BmpFault::NotValid, "Not a valid BMP file"}, ...})`.
template <class Fault, size_t Count>
constexpr FaultTexts<Fault, Count> faultTexts(const FaultText<Fault> (&rows)[Count])
{
    FaultTexts<Fault, Count> table{};
    for (size_t i = 0; i < Count; ++i)
        table.rows[i] = rows[i];
    return table;
}

} // namespace pictorand
