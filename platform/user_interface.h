#pragma once
// Everything the program's logic says to the user goes through this
// interface: the Qt shell implements it with real dialogs, tests script it,
// and unattended runs use the silent implementation.

#include "platform/program_name.h"

#include <string>

namespace pictorand {

enum class MessageIcon { Information, Warning, Question, Error };

class UserInterface {
public:
    virtual ~UserInterface() = default;

    // A task-modal message box captioned kProgramCaption.
    virtual void showMessage(const std::string& text, MessageIcon icon) = 0;
    // A Yes/No question; true for Yes. `defaultNo` preselects No.
    virtual bool askYesNo(const std::string& text, MessageIcon icon, bool defaultNo) = 0;
    // An OK/Cancel question; true for OK. Default: asked as Yes/No.
    virtual bool askOkCancel(const std::string& text, MessageIcon icon) { return askYesNo(text, icon, false); }
    // The wait cursor while long work runs.
    virtual void setWaitCursor(bool waiting) = 0;
    virtual void setWindowTitle(const std::string& title) = 0;
    // The directory list must be read again (a file was renamed, the working
    // directory changed).
    virtual void rebuildDirectoryList() = 0;
    // Queue a command for the main window, to run after the current one.
    virtual void postCommand(int commandId) = 0;
};

// Shows the wait cursor from construction until release() or the end of the
// scope, whichever comes first, so no early return leaves it on.
class WaitCursor {
public:
    explicit WaitCursor(UserInterface& ui) : m_ui(&ui) { m_ui->setWaitCursor(true); }
    ~WaitCursor() { release(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    // The cursor goes back to the arrow now (before a message box, say).
    void release()
    {
        if (m_ui)
            m_ui->setWaitCursor(false);
        m_ui = nullptr;
    }

private:
    UserInterface* m_ui;
};

// Says nothing and answers No: for batch runs and the command-line tools.
class SilentUserInterface : public UserInterface {
public:
    void showMessage(const std::string&, MessageIcon) override {}
    bool askYesNo(const std::string&, MessageIcon, bool) override { return false; }
    void setWaitCursor(bool) override {}
    void setWindowTitle(const std::string&) override {}
    void rebuildDirectoryList() override {}
    void postCommand(int) override {}
};

} // namespace pictorand
