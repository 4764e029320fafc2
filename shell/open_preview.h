#pragma once
// The Open dialog's preview on the viewer's side: what the preview area shows
// for the file selected, and the picture the Open command may take from it
// instead of reading the file again.

#include "dispatch/open_preview.h"
#include "shell/core/viewer_controller.h"
#include "shell/qt_user_interface.h"

#include <QSize>

#include <optional>
#include <string>

namespace pictorand {

class OpenPreview {
public:
    // `viewer` lends its load request; its record is never touched here.
    explicit OpenPreview(const ViewerController& viewer) : m_viewer(viewer) {}

    // What the preview area (`area` inside its frame) shows for `path`. An
    // empty path (nothing selected, the preview switched off) only drops the
    // picture read before.
    PreviewContent show(const std::string& path, QSize area);
    // The outcome the Open command takes as the load of `acceptedPath`, when
    // the preview may stand for it. Either way the preview's picture is gone
    // afterwards: the dialog has closed.
    std::optional<LoadOutcome> takeFor(const std::string& acceptedPath);
    void drop() { m_load = PreviewLoad(); }

private:
    const ViewerController& m_viewer;
    PreviewLoad m_load;
};

} // namespace pictorand
