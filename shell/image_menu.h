#pragma once
// The image menu's commands: rotations and flips, the colour-depth
// commands, resize and resample, the colour adjustments with their preview
// dialogs and the palette editor; and the icon chooser the icon reader asks
// on the viewer's display path. The main window routes these ids here after
// their preconditions have passed.

#include "core/codec_registry.h"
#include "shell/core/image_menu_rules.h"

#include <functional>
#include <optional>

class QColor;
class QWidget;

namespace pictorand {

class MainWindow;

class ImageMenu : public IconChooser {
public:
    explicit ImageMenu(MainWindow& window);

    // True for the ids handled here.
    static bool handles(int id);
    // Runs one of them (preconditions already checked).
    void run(int id);

    // IconChooser: runs the "Mutliple Icons" dialog over the main window.
    int chooseIcon(const std::string& path, const std::vector<std::string>& lines) override;

    // The colour chooser of the palette editor (tests substitute it).
    static std::function<std::optional<QColor>(QColor, QWidget*)> colorChooser;

private:
    void rotate(bool right);
    void flip(bool vertical);
    void decreaseDepth();
    void changeSize(bool resample);
    void greyscale();
    void inPlace(int id);
    void adjust(Adjustment adjustment);
    void editPalette();
    void repaint();

    MainWindow& m_window;
};

} // namespace pictorand
