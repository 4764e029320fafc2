#pragma once
// The image menu's commands: rotations and flips, the colour-depth
// commands, resize and resample, the colour adjustments with their preview
// dialogs and the palette editor; and the icon chooser the icon reader asks
// on the viewer's display path. It registers its handlers with the main
// window, which runs them once the commands' preconditions have passed.

#include "core/codec_registry.h"
#include "dispatch/operations.h"
#include "shell/core/image_menu_rules.h"
#include "shell/picture_host.h"

#include <functional>
#include <optional>

class QColor;
class QWidget;

namespace pictorand {

class ImageMenu : public IconChooser {
public:
    explicit ImageMenu(PictureHost& host);

    // Adds a handler for each command done here.
    void registerHandlers(CommandHandlers& handlers);

    // IconChooser: runs the "Mutliple Icons" dialog over the main window.
    int chooseIcon(const std::string& path, const std::vector<std::string>& lines) override;

    // The colour chooser of the palette editor (tests substitute it).
    static std::function<std::optional<QColor>(QColor, QWidget*)> colorChooser;

private:
    // Applies a shared operation to the picture; a failure is shown with the
    // operation's words and leaves picture, record and window as they were.
    bool run(const Operation& operation);
    // run() and repaint.
    void apply(const Operation& operation);
    void rotate(OperationKind turn);
    void decreaseDepth();
    void changeSize(OperationKind kind);
    void adjust(Adjustment adjustment);
    void editPalette();

    PictureHost& m_host;
};

} // namespace pictorand
