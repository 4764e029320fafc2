#pragma once
// The display's ICC profile, which the viewer converts pictures to. On X11,
// colour managers (colord's session helper, xiccd, ArgyllCMS's dispwin, the
// desktops' own) put the profile of the first screen in the root window's
// _ICC_PROFILE property, as the "ICC Profiles in X" convention says, and
// change it when the user picks another or calibrates again; the watcher
// sees each change and hands the new bytes on.
//
// FIXME: one profile for the whole display. The convention names the other
// monitors' profiles _ICC_PROFILE_1, _ICC_PROFILE_2, ... by Xinerama screen;
// a window on a second monitor is still shown in the first one's colours.
//
// Wayland: Qt 6.4 tells a client nothing of an output's colour profile (no
// QScreen or native interface carries one, and the compositors' colour
// management protocol is not one it speaks), so there the watcher finds no
// profile and pictures are shown in sRGB, as without a colour manager.

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace pictorand {

class ViewerController;

// The root window's profile through a connection of its own, for the
// start-up read while Qt is not yet up; empty when there is none, it is
// larger than a load request carries, or the program will not be on X11.
std::vector<uint8_t> displayProfileBeforeStart();

class DisplayProfileWatcher : public QAbstractNativeEventFilter {
public:
    // Watches the X11 display Qt is connected to, if any; `changed` is
    // called with the new profile (empty when it was taken away).
    explicit DisplayProfileWatcher(std::function<void(std::vector<uint8_t>)> changed);
    ~DisplayProfileWatcher() override;

    // The profile as the root window holds it now.
    std::vector<uint8_t> current() const;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Display;
    std::unique_ptr<Display> m_display; // null: not on X11
    std::function<void(std::vector<uint8_t>)> m_changed;
    // The change is handed on from the event loop, not from inside Qt's
    // event handling, and once for a burst of them; the call goes with the
    // watcher.
    QObject m_deferred;
    bool m_pending = false;
};

// A watcher that gives `viewer` the display's profile now and at each change.
std::unique_ptr<DisplayProfileWatcher> watchDisplayProfile(ViewerController& viewer);

} // namespace pictorand
