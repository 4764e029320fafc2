#pragma once
// A display host whose user interface records everything said to the user
// and answers questions from a script, for driving the dispatchers in tests.

#include "dispatch/load_dispatch.h"
#include "tests/support/scripted_user_interface.h"

#include <string>
#include <vector>

namespace pictorand::testing {

class ScriptedHost : public DisplayHost {
public:
    CurrentImage& currentImage() override { return current; }
    UserInterface& userInterface() override { return ui; }
    void resetViewerState() override { ++viewerResets; }
    void resetWindow() override { ++windowResets; }
    bool fullScreenWindowExists() const override { return fullScreen; }
    bool slideshowWindowExists() const override { return false; }
    bool paletteDisplay() const override { return palette; }
    bool loadGreyscale() const override { return greyscale; }
    int photoCdLoadingSize() const override { return 2; }
    std::string directoryListDirectory() const override { return {}; }
    bool renameExtensionEnabled() const override { return renameEnabled; }
    bool workingDirectoryChanged() const override { return directoryChanged; }
    std::string customTitle() const override { return custom; }
    IconChooser* iconChooser() override { return chooser; }
    bool startAnimation(const std::string& path, const ImageList& images) override
    {
        (void)path;
        if (animationAvailable)
            animations.push_back(images);
        return animationAvailable;
    }
    bool playMedia(const std::string& path) override
    {
        playedMedia.push_back(path);
        return mediaPlays;
    }
    bool showMetafile(const std::string& path, std::string& message, std::string& compression) override
    {
        shownMetafiles.push_back(path);
        if (!metafileWorks) {
            message = "Not a valid metafile";
            return false;
        }
        compression = "Enhanced Metafile";
        return true;
    }

    ScriptedUserInterface ui;
    CurrentImage current;
    bool fullScreen = false;
    bool palette = false;
    bool greyscale = false;
    bool renameEnabled = true;
    bool directoryChanged = false;
    bool metafileWorks = true;
    bool mediaPlays = true;
    bool animationAvailable = false;
    IconChooser* chooser = nullptr;
    std::vector<ImageList> animations;
    std::string custom;
    int viewerResets = 0;
    int windowResets = 0;
    std::vector<std::string> playedMedia;
    std::vector<std::string> shownMetafiles;
};

} // namespace pictorand::testing
