#pragma once
// The error manager both directions of the JPEG glue install. libjpeg's
// default error exit calls exit() and its default output prints warnings to
// stderr; here an error jumps back to the caller's setjmp with the library's
// message kept, and warnings (a truncated file, say) stay silent.

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <jpeglib.h>
#include <jerror.h>

namespace pictorand::jpeg_glue {

struct ErrorManager {
    jpeg_error_mgr library; // first, so the library's pointer is also ours
    std::jmp_buf jump;
    char text[JMSG_LENGTH_MAX];
    // Set when the compressed data ran out: the library then makes up the
    // rest of the picture, which for a hostile header claiming billions of
    // pixels would take minutes, so the reader stops instead.
    bool dataEnded;
    // Running out of data while the library works through the whole file on
    // its own (the first pass of two-pass quantisation) ends the decode.
    bool failOnDataEnd;
};

inline ErrorManager& errorManagerOf(j_common_ptr info) { return *reinterpret_cast<ErrorManager*>(info->err); }

[[noreturn]] inline void errorExit(j_common_ptr info)
{
    ErrorManager& errors = errorManagerOf(info);
    errors.library.format_message(info, errors.text);
    std::longjmp(errors.jump, 1);
}

// An error of our own, reported like the library's.
[[noreturn]] inline void fail(ErrorManager& errors, const char* text)
{
    std::snprintf(errors.text, sizeof errors.text, "%s", text);
    std::longjmp(errors.jump, 1);
}

inline void discardMessage(j_common_ptr) {}

// Warnings stay silent; the end of the data is noted.
inline void emitMessage(j_common_ptr info, int level)
{
    ErrorManager& errors = errorManagerOf(info);
    if (level < 0 && errors.library.msg_code == JWRN_JPEG_EOF) {
        errors.dataEnded = true;
        if (errors.failOnDataEnd)
            errorExit(info);
    }
    if (level < 0)
        ++errors.library.num_warnings;
}

inline jpeg_error_mgr* install(ErrorManager& errors)
{
    jpeg_std_error(&errors.library);
    errors.library.error_exit = errorExit;
    errors.library.output_message = discardMessage;
    errors.library.emit_message = emitMessage;
    errors.text[0] = '\0';
    errors.dataEnded = false;
    errors.failOnDataEnd = false;
    return &errors.library;
}

} // namespace pictorand::jpeg_glue
