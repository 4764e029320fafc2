#pragma once
// A user interface and display host that record everything said to the user
// and answer questions from a script, for driving the dispatchers in tests.

#include "core/dispatch/load_dispatch.h"

#include <deque>
#include <string>
#include <vector>

namespace pictorand::testing {

struct RecordedMessage {
    std::string text;
    MessageIcon icon;
};

class ScriptedUserInterface : public UserInterface {
public:
    void showMessage(const std::string& text, MessageIcon icon) override { messages.push_back({text, icon}); }
    bool askYesNo(const std::string& text, MessageIcon icon, bool defaultNo) override
    {
        questions.push_back({text, icon});
        questionDefaultNo.push_back(defaultNo);
        if (answers.empty())
            return false;
        bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void setWaitCursor(bool waiting) override
    {
        waitCursorDepth += waiting ? 1 : -1;
        ++waitCursorChanges;
    }
    void setWindowTitle(const std::string& title) override { titles.push_back(title); }
    void rebuildDirectoryList() override { ++directoryRebuilds; }
    void postCommand(int commandId) override { commands.push_back(commandId); }

    std::vector<RecordedMessage> messages;
    std::vector<RecordedMessage> questions;
    std::vector<bool> questionDefaultNo;
    std::deque<bool> answers;
    std::vector<std::string> titles;
    std::vector<int> commands;
    int waitCursorDepth = 0;
    int waitCursorChanges = 0;
    int directoryRebuilds = 0;
};

class ScriptedHost : public DisplayHost {
public:
    CurrentImage& currentImage() override { return current; }
    UserInterface& userInterface() override { return ui; }
    void resetViewerState() override { ++viewerResets; }
    void resetWindow() override { ++windowResets; }
    bool fullScreenWindowExists() const override { return fullScreen; }
    bool slideshowWindowExists() const override { return false; }
    int screenWidth() const override { return 1024; }
    int screenHeight() const override { return 768; }
    bool paletteDisplay() const override { return palette; }
    bool loadGreyscale() const override { return greyscale; }
    int photoCdLoadingSize() const override { return 2; }
    std::string directoryListDirectory() const override { return {}; }
    bool renameExtensionEnabled() const override { return renameEnabled; }
    bool workingDirectoryChanged() const override { return directoryChanged; }
    std::string customTitle() const override { return custom; }
    void playMedia(const std::string& path) override { playedMedia.push_back(path); }
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
    std::string custom;
    int viewerResets = 0;
    int windowResets = 0;
    std::vector<std::string> playedMedia;
    std::vector<std::string> shownMetafiles;
};

} // namespace pictorand::testing
