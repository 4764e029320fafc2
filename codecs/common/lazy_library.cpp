#include "codecs/common/lazy_library.h"

#include <dlfcn.h>

namespace pictorand {

SharedLibrary::SharedLibrary(const char* soname)
    : m_handle(dlopen(soname, RTLD_NOW | RTLD_LOCAL))
{
    if (!m_handle) {
        const char* why = dlerror();
        m_error = why ? why : std::string("Can't load ") + soname;
    }
}

void* SharedLibrary::symbol(const char* name)
{
    dlerror();
    void* address = dlsym(m_handle, name);
    if (!address && m_error.empty()) {
        const char* why = dlerror();
        m_error = why ? why : std::string("No function ") + name;
    }
    return address;
}

} // namespace pictorand
