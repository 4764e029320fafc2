// Writes the desktop entry a package installs: the one the Extensions page
// writes for the user, running the installed program by its name, so the
// MIME types it declares are those of the built codecs.
#include "shell/core/file_associations.h"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "Usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << pictorand::desktopEntryText("pictorand32");
    return out.flush() ? 0 : 1;
}
