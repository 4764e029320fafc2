// The least a Qt Widgets program does to show a picture: one QLabel with a
// QPixmap read by Qt's own image plugins, shown no larger than the screen,
// ending right after its first paint. bench/startup-vs-feh.sh times it beside
// the viewer and feh, to tell what Qt itself costs at start-up from what the
// viewer adds.
//
//   qt_minimal_viewer FILE

#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdlib>

namespace {

class FirstPaintLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QLabel::paintEvent(event);
        if (!m_painted) {
            m_painted = true;
            QTimer::singleShot(0, qApp, &QApplication::quit);
        }
    }

private:
    bool m_painted = false;
};

} // namespace

int main(int argc, char** argv)
{
    // As the viewer does: one screen pixel per picture pixel.
    setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 0);
    QApplication application(argc, argv);
    if (argc < 2)
        return 2;
    const QPixmap picture(QString::fromLocal8Bit(argv[1]));
    if (picture.isNull())
        return 1;
    FirstPaintLabel label;
    label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label.setPixmap(picture);
    label.setFixedSize(picture.size().boundedTo(QGuiApplication::primaryScreen()->availableSize()));
    label.show();
    return application.exec();
}
