#pragma once
// Select Source and Acquire: the scanners SANE finds, and scanning from the
// one chosen. Every SANE call runs on a worker thread that the dialogs poll,
// so a slow network scanner never freezes the window; each scanned page
// becomes the picture on screen, named "<ScanImage>".

#include "shell/picture_host.h"

#include <chrono>
#include <optional>
#include <string>

namespace pictorand {

class ScannerCommands {
public:
    explicit ScannerCommands(PictureHost& host);

    void registerHandlers(CommandHandlers& handlers);

    // How long the search for scanners may take before the dialog says
    // none answered (tests shorten it).
    static std::chrono::milliseconds searchTimeLimit;

private:
    // Runs the "Select Source" dialog; the device chosen, remembered.
    std::optional<std::string> selectSource();
    void acquire();

    PictureHost& m_host;
};

} // namespace pictorand
