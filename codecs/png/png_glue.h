#pragma once
// Error and warning hooks for both directions of the PNG glue. libpng's
// defaults print to stderr (and abort when no jump buffer is armed); ours
// stay silent and jump back to the setjmp the glue arms around every call.

#include <png.h>
#include <setjmp.h>

namespace pictorand::png_glue {

// What an iCCP chunk may take. Real profiles are a few kilobytes;
// lookup-table profiles of printers reach a megabyte or two.
inline constexpr png_alloc_size_t kMaxProfileBytes = png_alloc_size_t(16) << 20;

[[noreturn]] inline void errorHook(png_structp png, png_const_charp) { png_longjmp(png, 1); }
inline void warningHook(png_structp, png_const_charp) {}

} // namespace pictorand::png_glue
