#include "shell/dialogs/batch_dialog.h"

#include "core/codec_registry.h"
#include "core/image_format.h"
#include "dispatch/confined_load.h"
#include "shell/dialogs/file_list_builder.h"
#include "shell/dialogs/property_sheets.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

namespace pictorand {

BatchDialog::BatchDialog(SettingsFile& settings, UserInterface& ui, Browse browse, QWidget* parent)
    : QDialog(parent)
    , m_settings(settings)
    , m_ui(ui)
{
    setWindowTitle("Batch conversion");
    auto* layout = new QVBoxLayout(this);
    m_files = new FileListBuilder(settings.readText(settings::OpenDir), this);
    layout->addWidget(m_files, 1);

    auto* options = new QGridLayout;
    options->addWidget(new QLabel("Convert to:"), 0, 0);
    m_type = new QComboBox;
    for (const FormatInfo* format : savableFormats())
        m_type->addItem(QString::fromUtf8(format->save->batchEntry));
    m_type->setCurrentIndex(0); // the dialog always starts at the first type
    options->addWidget(m_type, 0, 1);
    auto* optionsButton = new QPushButton("Options");
    optionsButton->setAutoDefault(false);
    connect(optionsButton, &QPushButton::clicked, this, [this] { runSaveOptionsSheet(m_settings, this); });
    options->addWidget(optionsButton, 0, 2);
    options->addWidget(new QLabel("Output directory:"), 1, 0);
    m_output = new QLineEdit(QString::fromStdString(settings.readText(settings::BatchOutputPath)));
    options->addWidget(m_output, 1, 1);
    auto* browseButton = new QPushButton("Browse");
    browseButton->setAutoDefault(false);
    connect(browseButton, &QPushButton::clicked, this, [this, browse] {
        if (auto chosen = browse(m_output->text().toStdString(), this)) {
            m_output->setText(QString::fromStdString(*chosen));
            m_settings.writeText(settings::BatchOutputPath, *chosen);
        }
    });
    options->addWidget(browseButton, 1, 2);
    layout->addLayout(options);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* startButton = new QPushButton("Start");
    startButton->setAutoDefault(false);
    auto* cancelButton = new QPushButton("Cancel");
    cancelButton->setAutoDefault(false);
    connect(startButton, &QPushButton::clicked, this, &BatchDialog::start);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(startButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);
    resize(900, 560);
}

void BatchDialog::start()
{
    const std::string output = m_output->text().trimmed().toStdString();
    if (output.empty()) {
        // An empty value would mean the root directory.
        m_ui.showMessage(kBatchNoOutputDirectory, MessageIcon::Warning);
        return;
    }
    m_settings.writeText(settings::BatchOutputPath, output);
    m_settings.writeInt(settings::BatchOutputType, m_type->currentIndex());
    accept();
}

// Lines go to the window through its event queue: the run never waits for
// the window, and the window only ever touches its widgets on its thread.
class BatchProgressWindow::Progress : public BatchProgress {
public:
    explicit Progress(BatchProgressWindow* window) : m_window(window) {}
    void setCaption(const std::string& caption) override
    {
        post([caption](BatchProgressWindow* w) { w->setWindowTitle(QString::fromStdString(caption)); });
    }
    void addLine(const std::string& line) override
    {
        post([line](BatchProgressWindow* w) {
            w->m_lines->addItem(QString::fromStdString(line));
            w->m_lines->setCurrentRow(w->m_lines->count() - 1);
        });
    }
    void finished() override
    {
        post([](BatchProgressWindow* w) { w->finish(); });
    }

private:
    template <typename Work> void post(Work work)
    {
        QPointer<BatchProgressWindow> window = m_window;
        QMetaObject::invokeMethod(
            m_window, [window, work] {
                if (window)
                    work(window.data());
            },
            Qt::QueuedConnection);
    }
    BatchProgressWindow* m_window;
};

BatchProgressWindow::BatchProgressWindow(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Converting ...");
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    m_lines = new QListWidget;
    layout->addWidget(m_lines);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_stop = new QPushButton("Stop");
    m_exit = new QPushButton("Exit");
    m_exit->setEnabled(false);
    buttons->addWidget(m_stop);
    buttons->addWidget(m_exit);
    layout->addLayout(buttons);
    connect(m_stop, &QPushButton::clicked, this, [this] { m_stopRequested = true; });
    connect(m_exit, &QPushButton::clicked, this, &QDialog::accept);
    resize(640, 360);
}

BatchProgressWindow::~BatchProgressWindow()
{
    m_stopRequested = true;
    if (m_thread.joinable())
        m_thread.join();
}

void BatchProgressWindow::run(BatchRequest request, const SettingsFile& settings)
{
    m_done = false;
    m_stopRequested = false;
    m_progress = std::make_unique<Progress>(this);
    request.stopRequested = [this] { return m_stopRequested.load(); };
    if (request.jobs <= 1)
        request.jobs = processorCount();
    m_thread = std::thread([this, request = std::move(request), path = settings.path()] {
        SettingsFile own(path);
        const int spares = keptDecoderSpares();
        runBatchConversion(request, *m_progress, CodecRegistry::instance(), own);
        keepDecoderSpares(spares); // the batch let them run out with its files
    });
}

void BatchProgressWindow::finish()
{
    if (m_thread.joinable())
        m_thread.join();
    m_done = true;
    m_stop->setEnabled(false);
    m_exit->setEnabled(true);
    activateWindow();
}

} // namespace pictorand
