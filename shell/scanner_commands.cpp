#include "shell/scanner_commands.h"

#include "platform/settings_keys.h"
#include "shell/core/commands.h"
#include "shell/core/scanner.h"

#include <sane/saneopts.h>

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace pictorand {

std::chrono::milliseconds ScannerCommands::searchTimeLimit{30000};

namespace {

// What a worker thread hands the dialog that polls it. The thread holds its
// own reference, so a dialog closed early leaves it nothing to write into
// but this.
struct SearchState {
    std::mutex lock;
    bool done = false;
    std::vector<ScannerDevice> devices;
};

class SourceDialog : public QDialog {
public:
    SourceDialog(const std::string& remembered, QWidget* parent) : QDialog(parent), m_remembered(remembered)
    {
        setWindowTitle("Select Source");
        auto* layout = new QVBoxLayout(this);
        m_status = new QLabel("Looking for scanners...", this);
        m_list = new QListWidget(this);
        m_list->setMinimumSize(360, 160);
        m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        m_buttons->button(QDialogButtonBox::Ok)->setText("Select");
        m_buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
        layout->addWidget(m_status);
        layout->addWidget(m_list);
        layout->addWidget(m_buttons);
        connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        connect(m_list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
        connect(m_list, &QListWidget::currentRowChanged, this,
                [this](int row) { m_buttons->button(QDialogButtonBox::Ok)->setEnabled(row >= 0); });

        auto state = std::make_shared<SearchState>();
        m_state = state;
        std::thread([state] {
            std::vector<ScannerDevice> devices = findScanners();
            std::lock_guard<std::mutex> hold(state->lock);
            state->devices = std::move(devices);
            state->done = true;
        }).detach();
        m_started = std::chrono::steady_clock::now();
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [this, poll] {
            if (poll->isActive() && checkSearch())
                poll->stop();
        });
        poll->start(50);
    }

    std::string chosenDevice() const
    {
        const int row = m_list->currentRow();
        return row >= 0 && row < int(m_devices.size()) ? m_devices[size_t(row)].name : std::string();
    }

private:
    // True once the search has ended or given up.
    bool checkSearch()
    {
        {
            std::lock_guard<std::mutex> hold(m_state->lock);
            if (m_state->done)
                m_devices = m_state->devices;
        }
        if (m_devices.empty()) {
            const bool late = std::chrono::steady_clock::now() - m_started > ScannerCommands::searchTimeLimit;
            std::lock_guard<std::mutex> hold(m_state->lock);
            if (!m_state->done && !late)
                return false;
            m_status->setText(late ? "No scanner answered." : "No scanner was found.");
            return true;
        }
        m_status->setText("Scanners:");
        for (const ScannerDevice& device : m_devices) {
            m_list->addItem(QString::fromStdString(device.description + "  [" + device.name + "]"));
            if (device.name == m_remembered)
                m_list->setCurrentRow(m_list->count() - 1);
        }
        if (m_list->currentRow() < 0)
            m_list->setCurrentRow(0);
        return true;
    }

    std::string m_remembered;
    QLabel* m_status = nullptr;
    QListWidget* m_list = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
    std::shared_ptr<SearchState> m_state;
    std::vector<ScannerDevice> m_devices;
    std::chrono::steady_clock::time_point m_started;
};

// What a device offers and what it is set to, read once it is open.
struct DeviceChoices {
    ScanOptionChoices modes, depths, resolutions, sources;
    std::string mode, source;
    int depth = 0, resolution = 0;
};

// The connection and what its thread reports back.
struct ScanJob {
    std::mutex lock;
    std::unique_ptr<ScannerConnection> connection;
    bool busy = false;       // opening or scanning
    bool opened = false;
    bool finished = false;   // the scan run ended
    std::string error;       // why it failed, empty otherwise
    std::deque<ImageBlock> pages;
    int percent = 0;
    DeviceChoices device;
};

class ScanDialog : public QDialog {
public:
    ScanDialog(PictureHost& host, const std::string& device, QWidget* parent)
        : QDialog(parent), m_host(host), m_job(std::make_shared<ScanJob>())
    {
        setWindowTitle("Acquire");
        auto* layout = new QVBoxLayout(this);
        m_status = new QLabel(QString::fromStdString("Opening " + device + "..."), this);
        layout->addWidget(m_status);
        auto* form = new QFormLayout;
        m_mode = new QComboBox(this);
        m_depth = new QComboBox(this);
        m_resolution = new QComboBox(this);
        m_source = new QComboBox(this);
        form->addRow("&Mode:", m_mode);
        form->addRow("&Depth:", m_depth);
        form->addRow("&Resolution:", m_resolution);
        form->addRow("&Source:", m_source);
        layout->addLayout(form);
        m_progress = new QProgressBar(this);
        m_progress->setRange(0, 100);
        layout->addWidget(m_progress);
        m_buttons = new QDialogButtonBox(this);
        m_scan = m_buttons->addButton("&Scan", QDialogButtonBox::AcceptRole);
        m_cancel = m_buttons->addButton(QDialogButtonBox::Cancel);
        m_scan->setDefault(true);
        layout->addWidget(m_buttons);
        setControlsEnabled(false);
        m_scan->setAutoDefault(true);
        connect(m_scan, &QPushButton::clicked, this, [this] { startScan(); });
        connect(m_cancel, &QPushButton::clicked, this, [this] { cancelOrClose(); });

        std::shared_ptr<ScanJob> job = m_job;
        job->busy = true;
        std::thread([job, device] {
            std::string error;
            std::unique_ptr<ScannerConnection> connection = ScannerConnection::open(device, error);
            DeviceChoices read;
            if (connection) {
                read.modes = connection->choices(SANE_NAME_SCAN_MODE);
                read.depths = connection->choices(SANE_NAME_BIT_DEPTH);
                read.resolutions = connection->choices(SANE_NAME_SCAN_RESOLUTION);
                read.sources = connection->choices(SANE_NAME_SCAN_SOURCE);
                read.mode = connection->currentText(SANE_NAME_SCAN_MODE);
                read.source = connection->currentText(SANE_NAME_SCAN_SOURCE);
                read.depth = connection->currentNumber(SANE_NAME_BIT_DEPTH);
                read.resolution = connection->currentNumber(SANE_NAME_SCAN_RESOLUTION);
            }
            std::lock_guard<std::mutex> hold(job->lock);
            job->connection = std::move(connection);
            job->opened = job->connection != nullptr;
            job->error = error;
            job->device = std::move(read);
            job->busy = false;
        }).detach();
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this] { poll(); });
        timer->start(50);
    }

    ~ScanDialog() override
    {
        std::lock_guard<std::mutex> hold(m_job->lock);
        if (m_job->busy && m_job->connection)
            m_job->connection->cancel();
    }

    // Why the run failed, or empty.
    const std::string& failure() const { return m_failure; }

protected:
    void reject() override { cancelOrClose(); }

private:
    void setControlsEnabled(bool enabled)
    {
        for (QWidget* control : {static_cast<QWidget*>(m_mode), static_cast<QWidget*>(m_depth),
                                 static_cast<QWidget*>(m_resolution), static_cast<QWidget*>(m_source),
                                 static_cast<QWidget*>(m_scan)})
            control->setEnabled(enabled);
    }

    void fillChoices()
    {
        SettingsFile& settings = m_host.settings();
        auto fillTexts = [](QComboBox* box, const ScanOptionChoices& choices, const std::string& current,
                            const std::string& remembered) {
            for (const std::string& text : choices.texts)
                box->addItem(QString::fromStdString(text));
            const int wanted = box->findText(QString::fromStdString(remembered));
            box->setCurrentIndex(wanted >= 0 ? wanted : std::max(0, box->findText(QString::fromStdString(current))));
        };
        const DeviceChoices& device = m_job->device;
        fillTexts(m_mode, device.modes, device.mode, settings.readText(settings::ScanMode));
        fillTexts(m_source, device.sources, device.source, settings.readText(settings::ScanSource));
        auto fillNumbers = [](QComboBox* box, const ScanOptionChoices& choices, int current) {
            std::vector<int> offered = choices.numbers;
            if (offered.empty() && choices.present)
                for (int n : {75, 100, 150, 200, 300, 600, 1200}) // a range: the usual steps within it
                    if (snapToChoices(choices, n) == n)
                        offered.push_back(n);
            if (current > 0 && std::find(offered.begin(), offered.end(), current) == offered.end())
                offered.insert(std::upper_bound(offered.begin(), offered.end(), current), current);
            for (int n : offered)
                box->addItem(QString::number(n), n);
            box->setCurrentIndex(std::max(0, box->findData(current)));
        };
        fillNumbers(m_depth, device.depths, device.depth);
        const int remembered = settings.readInt(settings::ScanResolution);
        fillNumbers(m_resolution, device.resolutions,
                    remembered > 0 && device.resolutions.present ? snapToChoices(device.resolutions, remembered)
                                                                 : device.resolution);
        for (QComboBox* box : {m_mode, m_depth, m_resolution, m_source})
            if (box->count() == 0)
                box->setEnabled(false);
    }

    void poll()
    {
        std::deque<ImageBlock> pages;
        bool opened = false, finished = false, busy = false;
        int percent = 0;
        std::string error;
        {
            std::lock_guard<std::mutex> hold(m_job->lock);
            pages.swap(m_job->pages);
            opened = m_job->opened;
            finished = m_job->finished;
            busy = m_job->busy;
            error = m_job->error;
            percent = m_job->percent;
        }
        m_progress->setValue(percent);
        for (ImageBlock& page : pages)
            m_host.showAcquiredPicture(std::move(page), kScanImagePath);
        if (busy)
            return;
        if (!opened || finished) {
            m_failure = error;
            done(error.empty() && !m_closing ? QDialog::Accepted : QDialog::Rejected);
            return;
        }
        if (m_closing) {
            done(QDialog::Rejected);
            return;
        }
        if (!m_filled) {
            m_filled = true;
            fillChoices();
            m_status->setText("Ready to scan.");
            setControlsEnabled(true);
            m_scan->setFocus();
        }
    }

    void startScan()
    {
        ScanSettings wanted;
        wanted.mode = m_mode->currentText().toStdString();
        wanted.source = m_source->currentText().toStdString();
        wanted.depth = m_depth->currentData().toInt();
        wanted.resolution = m_resolution->currentData().toInt();
        SettingsFile& settings = m_host.settings();
        settings.writeText(settings::ScanMode, wanted.mode);
        settings.writeText(settings::ScanSource, wanted.source);
        settings.writeText(settings::ScanResolution, std::to_string(wanted.resolution));
        setControlsEnabled(false);
        m_status->setText("Scanning...");
        std::shared_ptr<ScanJob> job = m_job;
        {
            std::lock_guard<std::mutex> hold(job->lock);
            job->busy = true;
        }
        std::thread([job, wanted] {
            ScannerConnection* connection = job->connection.get();
            std::string error;
            const bool applied = connection->apply(wanted, error);
            const bool feeder = applied && connection->feederSelected();
            bool any = false;
            while (applied) {
                ImageBlock page;
                const PageEnd end = connection->scanPage(page, error, [&job](int percent) {
                    std::lock_guard<std::mutex> hold(job->lock);
                    job->percent = percent;
                });
                if (end == PageEnd::Page) {
                    any = true;
                    std::lock_guard<std::mutex> hold(job->lock);
                    job->pages.push_back(std::move(page));
                    job->percent = 0;
                    if (feeder)
                        continue;
                }
                // An empty feeder ends a run that scanned something; at
                // the start it means there was nothing to scan.
                if (end == PageEnd::NoMoreDocuments && !any)
                    error = "The document feeder is empty";
                break;
            }
            connection->finish();
            std::lock_guard<std::mutex> hold(job->lock);
            job->error = error;
            job->finished = true;
            job->busy = false;
        }).detach();
    }

    void cancelOrClose()
    {
        m_closing = true;
        std::lock_guard<std::mutex> hold(m_job->lock);
        if (m_job->busy) {
            if (m_job->connection)
                m_job->connection->cancel();
            m_status->setText("Cancelling...");
            return; // the poll closes the dialog once the thread has stopped
        }
        QDialog::done(QDialog::Rejected);
    }

    PictureHost& m_host;
    std::shared_ptr<ScanJob> m_job;
    QLabel* m_status = nullptr;
    QComboBox* m_mode = nullptr;
    QComboBox* m_depth = nullptr;
    QComboBox* m_resolution = nullptr;
    QComboBox* m_source = nullptr;
    QProgressBar* m_progress = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
    QPushButton* m_scan = nullptr;
    QPushButton* m_cancel = nullptr;
    bool m_filled = false;
    bool m_closing = false;
    std::string m_failure;
};

} // namespace

ScannerCommands::ScannerCommands(PictureHost& host) : m_host(host) {}

void ScannerCommands::registerHandlers(CommandHandlers& handlers)
{
    handlers[command::SelectSource] = [this] { selectSource(); };
    handlers[command::Acquire] = [this] { acquire(); };
}

std::optional<std::string> ScannerCommands::selectSource()
{
    SourceDialog dialog(m_host.settings().readText(settings::ScanDevice), m_host.dialogParent());
    if (dialog.exec() != QDialog::Accepted || dialog.chosenDevice().empty())
        return std::nullopt;
    m_host.settings().writeText(settings::ScanDevice, dialog.chosenDevice());
    return dialog.chosenDevice();
}

void ScannerCommands::acquire()
{
    std::string device = m_host.settings().readText(settings::ScanDevice);
    if (device.empty()) {
        std::optional<std::string> chosen = selectSource();
        if (!chosen)
            return;
        device = *chosen;
    }
    ScanDialog dialog(m_host, device, m_host.dialogParent());
    dialog.exec();
    if (!dialog.failure().empty())
        m_host.ui().showMessage(kScanErrorMessage + std::string("\n\n") + dialog.failure(), MessageIcon::Warning);
}

} // namespace pictorand
