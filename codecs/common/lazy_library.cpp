#include "codecs/common/lazy_library.h"

#include "core/messages.h"

#include <dlfcn.h>

namespace pictorand {

SharedLibrary::SharedLibrary(const char* soname)
    : m_handle(dlopen(soname, RTLD_NOW | RTLD_LOCAL))
{
    if (!m_handle) {
        const char* why = dlerror();
        m_error = why ? why : std::string(kCantLoad) + soname;
    }
}

void* SharedLibrary::symbol(const char* name)
{
    dlerror();
    void* address = dlsym(m_handle, name);
    if (!address && m_error.empty()) {
        const char* why = dlerror();
        m_error = why ? why : std::string(kNoFunction) + name;
    }
    return address;
}

} // namespace pictorand
