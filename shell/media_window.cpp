#include "shell/media_window.h"

#include "platform/paths.h"

#include <QAudioOutput>
#include <QBoxLayout>
#include <QFileInfo>
#include <QLabel>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QMediaMetaData>
#include <QMediaPlayer>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QUrl>
#include <QVideoWidget>

#include <algorithm>
#include <cctype>

namespace pictorand {

namespace {

// The width of the window of a sound file, which has no picture.
constexpr int kSoundWidth = 320;
constexpr int kOpeningTimeoutMs = 15000;
constexpr const char* kNoAudioOutputText = "No audio output is available: the sound cannot be heard.";

bool isMidi(const std::string& path)
{
    std::string extension = path.size() >= 4 ? path.substr(path.size() - 4) : std::string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
    return extension == ".mid" || extension == ".rmi";
}

} // namespace

std::string mediaFailureText(const std::string& path, const std::string& reason)
{
    // What is missing depends on the kind: GStreamer's good plugins read AVI
    // and WAV; MIDI needs the bad plugins' synthesiser and a sound font.
    const std::string missing = isMidi(path)
        ? "MIDI files need a MIDI synthesiser: the GStreamer plugin fluidsynthmidi (gstreamer1.0-plugins-bad) "
          "and a sound font (timgm6mb-soundfont or fluid-soundfont-gm)."
        : "Sound and video files are played by GStreamer: its plugins for this kind of file "
          "(gstreamer1.0-plugins-good, gstreamer1.0-libav for most video codecs) may be missing.";
    return path + " : Can't play this file !\n\n" + reason + "\n\n" + missing;
}

MediaWindow::MediaWindow(QWidget* parent, const std::string& path)
    : QWidget(parent), m_path(path)
{
    setObjectName("MediaWindow");
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_video = new QVideoWidget(this);
    m_video->hide();
    layout->addWidget(m_video, 1);

    auto* controls = new QHBoxLayout;
    controls->setContentsMargins(2, 2, 6, 2);
    controls->setSpacing(8);
    m_play = new QPushButton(this);
    m_play->setFocusPolicy(Qt::NoFocus);
    m_position = new QSlider(Qt::Horizontal, this);
    m_position->setFocusPolicy(Qt::NoFocus);
    m_mode = new QLabel(this);
    auto* name = new QLabel(QString::fromStdString(fileNameOf(path)), this);
    controls->addWidget(m_play);
    controls->addWidget(m_position, 1);
    controls->addWidget(m_mode);
    controls->addWidget(name);
    layout->addLayout(controls);
    m_notice = new QLabel(kNoAudioOutputText, this);
    m_notice->setObjectName("notice");
    m_notice->setWordWrap(true);
    m_notice->setContentsMargins(4, 0, 4, 2);
    m_notice->hide();
    layout->addWidget(m_notice);

    m_player = new QMediaPlayer(this);
    m_audio = new QAudioOutput(this);
    m_player->setAudioOutput(m_audio);
    m_player->setVideoOutput(m_video);

    connect(m_play, &QPushButton::clicked, this, &MediaWindow::togglePlay);
    connect(m_player, &QMediaPlayer::durationChanged, this,
            [this](qint64 duration) { m_position->setRange(0, static_cast<int>(duration)); });
    connect(m_player, &QMediaPlayer::positionChanged, this, [this](qint64 position) {
        if (!m_position->isSliderDown())
            m_position->setValue(static_cast<int>(position));
    });
    connect(m_position, &QSlider::sliderMoved, this, [this](int position) { m_player->setPosition(position); });
    connect(m_player, &QMediaPlayer::playbackStateChanged, this, [this] { updateMode(); });
    // Without a device the sound plays to nothing while the slider moves:
    // the window says so, and takes a device that comes later.
    connect(m_player, &QMediaPlayer::hasAudioChanged, this, [this] { updateAudioNotice(); });
    auto* devices = new QMediaDevices(this);
    connect(devices, &QMediaDevices::audioOutputsChanged, this, [this] {
        m_audio->setDevice(QMediaDevices::defaultAudioOutput());
        updateAudioNotice();
    });
    connect(m_player, &QMediaPlayer::hasVideoChanged, this, [this](bool video) {
        m_video->setVisible(video);
        if (sizeChanged)
            sizeChanged(wantedSize());
    });
    connect(m_player, &QMediaPlayer::metaDataChanged, this, [this] {
        const QSize size = m_player->metaData().value(QMediaMetaData::Resolution).toSize();
        if (size.isValid() && size != m_videoSize) {
            m_videoSize = size;
            if (sizeChanged)
                sizeChanged(wantedSize());
        }
    });
    connect(m_player, &QMediaPlayer::errorOccurred, this,
            [this](QMediaPlayer::Error, const QString& why) { reportFailure(why); });
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
        if (status == QMediaPlayer::InvalidMedia)
            reportFailure(m_player->errorString());
    });

    // A pipeline that never gets going (a decoder that waits for data it
    // will not get) gives no error of its own.
    QTimer::singleShot(kOpeningTimeoutMs, this, [this] {
        const QMediaPlayer::MediaStatus status = m_player->mediaStatus();
        if (status == QMediaPlayer::LoadingMedia || status == QMediaPlayer::StalledMedia || status == QMediaPlayer::NoMedia)
            reportFailure("The file could not be opened in time.");
    });

    // From the start, playing at once.
    m_player->setSource(QUrl::fromLocalFile(QFileInfo(QString::fromStdString(path)).absoluteFilePath()));
    m_player->setPosition(0);
    m_player->play();
    updateMode();
}

MediaWindow::~MediaWindow()
{
    m_player->stop();
}

QSize MediaWindow::wantedSize() const
{
    int controls = std::max(m_play->sizeHint().height(), m_position->sizeHint().height()) + 4;
    if (!m_notice->isHidden())
        controls += m_notice->heightForWidth(kSoundWidth);
    if (m_player->hasVideo() && m_videoSize.isValid())
        return {std::max(m_videoSize.width(), kSoundWidth), m_videoSize.height() + controls};
    return {std::max(sizeHint().width(), kSoundWidth), controls};
}

bool MediaWindow::playing() const
{
    return m_player->playbackState() == QMediaPlayer::PlayingState;
}

void MediaWindow::togglePlay()
{
    if (playing())
        m_player->pause();
    else
        m_player->play();
}

void MediaWindow::updateMode()
{
    switch (m_player->playbackState()) {
    case QMediaPlayer::PlayingState:
        m_play->setText("Pause");
        m_mode->setText("playing");
        break;
    case QMediaPlayer::PausedState:
        m_play->setText("Play");
        m_mode->setText("paused");
        break;
    case QMediaPlayer::StoppedState:
        m_play->setText("Play");
        m_mode->setText("stopped");
        break;
    }
}

QString MediaWindow::notice() const
{
    return m_notice->isHidden() ? QString() : m_notice->text();
}

void MediaWindow::updateAudioNotice()
{
    const bool silent = m_player->hasAudio() && QMediaDevices::audioOutputs().isEmpty();
    if (silent == !m_notice->isHidden())
        return;
    m_notice->setVisible(silent);
    if (sizeChanged)
        sizeChanged(wantedSize());
}

void MediaWindow::reportFailure(const QString& why)
{
    if (m_failed)
        return;
    m_failed = true;
    m_mode->setText("not playable");
    if (failed)
        failed(mediaFailureText(m_path, why.isEmpty() ? std::string("The file could not be opened.") : why.toStdString()));
}

} // namespace pictorand
