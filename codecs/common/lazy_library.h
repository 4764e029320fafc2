#pragma once
// A few readers open their library on first use instead of linking it:
// libheif, libavif and libjxl bring some forty libraries with them (every
// AV1 and HEVC encoder among them), whose loading and static set-up cost
// every start of the converter and the viewer about 15 ms, for formats most
// runs never read.
//
// Such a reader lists the library functions it calls,
//   #define HEIF_FUNCTIONS(X) X(heif_init) X(heif_context_alloc) ...
// declares one pointer per function in its own namespace, named as the
// function, so that its calls read as plain calls and the compiler checks
// them against the library's header:
//   HEIF_FUNCTIONS(PICTORAND_LIBRARY_FUNCTION_POINTER)
// and has them bound before its first call:
//   static const LibraryBinding heif = bindLibrary(PICTORAND_HEIF_LIBRARY, [](SharedLibrary& library) {
//       return true HEIF_FUNCTIONS(PICTORAND_BIND_LIBRARY_FUNCTION);
//   });
// A function-local static binds once, from whichever thread comes first, and
// publishes the pointers to every other.

#include "core/result.h"

#include <optional>
#include <string>

namespace pictorand {

class SharedLibrary {
public:
    explicit SharedLibrary(const char* soname);
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;
    // The library stays loaded for the life of the process: its threads and
    // the pointers taken from it may outlive any one reader.
    ~SharedLibrary() = default;

    bool opened() const { return m_handle != nullptr; }
    // Points `target` at the library's function `name`; false (and error()
    // says which) when the library has none of that name.
    template <class Function>
    bool bind(Function*& target, const char* name)
    {
        void* address = symbol(name);
        target = reinterpret_cast<Function*>(address);
        return address != nullptr;
    }
    // The loader's own words on what went wrong.
    const std::string& error() const { return m_error; }

private:
    void* symbol(const char* name);

    void* m_handle = nullptr;
    std::string m_error;
};

// What a reader returns while its library cannot be used; nullopt once every
// function is bound.
using LibraryBinding = std::optional<Failure>;

template <class BindAll>
LibraryBinding bindLibrary(const char* soname, BindAll bindAll)
{
    SharedLibrary library(soname);
    if (library.opened() && bindAll(library))
        return std::nullopt;
    return Failure{Reason::NoCodec, library.error()};
}

#define PICTORAND_LIBRARY_FUNCTION_POINTER(name) decltype(&::name) name = nullptr;
#define PICTORAND_BIND_LIBRARY_FUNCTION(name) &&library.bind(name, #name)

} // namespace pictorand
