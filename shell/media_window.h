#pragma once
// The media window: sound and video files (AVI, WAV, MID, RMI) play in a
// child window of the main window or of the full-screen window, with a
// play/pause button, a position slider, the mode and the file name, as the
// platform's media window had. It reports its size so the main window can
// be sized to it, and says plainly when the system cannot play a file, and
// in the window when there is nothing to play its sound on.

#include <QWidget>

#include <functional>
#include <string>

class QAudioOutput;
class QLabel;
class QMediaPlayer;
class QPushButton;
class QSlider;
class QVideoWidget;

namespace pictorand {

class MediaWindow : public QWidget {
    Q_OBJECT
public:
    MediaWindow(QWidget* parent, const std::string& path);
    ~MediaWindow() override;

    // The size the window asks for: the video's own size (or a bar for
    // sound) with the controls below.
    QSize wantedSize() const;
    // Called with wantedSize() whenever it changes (the size message).
    std::function<void(QSize)> sizeChanged;
    // Called once with the words for the user when the file cannot be played.
    std::function<void(const std::string&)> failed;

    bool playing() const;
    void togglePlay();
    // The words the window shows beneath its controls; empty when it shows none.
    QString notice() const;

private:
    void updateMode();
    void reportFailure(const QString& why);
    void updateAudioNotice();

    std::string m_path;
    QMediaPlayer* m_player = nullptr;
    QAudioOutput* m_audio = nullptr;
    QVideoWidget* m_video = nullptr;
    QPushButton* m_play = nullptr;
    QSlider* m_position = nullptr;
    QLabel* m_mode = nullptr;
    QLabel* m_notice = nullptr;
    QSize m_videoSize;
    bool m_failed = false;
};

// The words shown when a file cannot be played, naming what is missing.
std::string mediaFailureText(const std::string& path, const std::string& reason);

} // namespace pictorand
