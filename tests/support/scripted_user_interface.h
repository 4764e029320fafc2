#pragma once
// A user interface that records everything said to the user and answers
// questions from a script (No when the script is empty), for driving the
// dispatchers and the viewer in tests.

#include "platform/user_interface.h"

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

} // namespace pictorand::testing
