#pragma once
// A load's request and outcome as bytes, for the socket between the viewer
// (or the converter) and its confined decoder worker. The outcome's pictures
// do not travel in the message: it lists where each block lies in the
// worker's memory, and the parent copies them straight into blocks of its
// own.
//
// The parent reads what a worker says as it reads a hostile file: every
// count, size and string length is bounded, every enumeration checked, every
// number of a drawing finite and in range, every block consistent with its
// header and at a depth the outcome's kind may have, and a paletted block's
// pixels within its colour table. Anything else and the answer is refused as
// a whole.

#include "dispatch/load.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace pictorand {

std::vector<uint8_t> encodeLoadRequest(const LoadRequest& request);
std::optional<LoadRequest> decodeLoadRequest(std::span<const uint8_t> bytes);

// The outcome as the worker sends it. Its blocks stay where they are and the
// message names their addresses in this process; or, where the kernel does
// not let the parent read the worker's memory, the blocks follow the message.
std::vector<uint8_t> encodeLoadOutcome(const LoadOutcome& outcome, bool blocksInline = false);

// Copies the bytes at `address` in the worker into `into` (as many as it
// holds). False when they cannot be had.
using BlockFetcher = std::function<bool(uint64_t address, std::span<uint8_t> into)>;

// The outcome a worker sent, its blocks fetched (taken from the message when
// `fetch` is null); nothing when any part of it does not hold up. `request`
// is what was asked: the outcome must answer it.
std::optional<LoadOutcome> decodeLoadOutcome(std::span<const uint8_t> bytes, const LoadRequest& request,
                                             const BlockFetcher& fetch);

} // namespace pictorand
