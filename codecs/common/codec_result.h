#pragma once
// What every codec's registered functions share: the end of any exception a
// library or an allocation throws, so nothing leaves a codec but a result.

#include "core/codec_registry.h"
#include "core/result.h"

#include <exception>
#include <new>

namespace pictorand {

// Runs a registered function, turning an escaping exception into a failure.
template <class Call>
auto withoutExceptions(Call call) -> decltype(call())
{
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return outOfMemory();
    } catch (const std::exception& error) {
        return Failure{Reason::CorruptData, error.what()};
    } catch (...) {
        return Failure{Reason::CorruptData, {}};
    }
}

} // namespace pictorand
