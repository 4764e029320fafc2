#include "shell/dialogs/property_sheets.h"

#include "platform/settings_keys.h"
#include "shell/core/file_associations.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace pictorand {

namespace {

QString qt(const char* text) { return QString::fromUtf8(text); }

// Controls bound to settings keys: each adds its reader and writer to the
// page it sits on.
QCheckBox* check(SettingsPage* page, QBoxLayout* layout, SettingsFile& settings, const SettingKey& key,
                 const char* text)
{
    auto* box = new QCheckBox(qt(text), page);
    layout->addWidget(box);
    page->loaders.push_back([box, &settings, key] { box->setChecked(settings.readInt(key) != 0); });
    page->savers.push_back([box, &settings, key] { settings.writeText(key, box->isChecked() ? "1" : "0"); });
    return box;
}

struct RadioChoice {
    const char* text;
    int value;
};

// One key, one radio per value; a value no radio has checks none. A
// missing key reads as `missingValue`.
void radios(SettingsPage* page, QBoxLayout* layout, SettingsFile& settings, const SettingKey& key,
            std::vector<RadioChoice> choices, int missingValue)
{
    auto* group = new QButtonGroup(page);
    group->setExclusive(false); // so that no radio can be checked
    for (const RadioChoice& choice : choices) {
        auto* radio = new QRadioButton(qt(choice.text), page);
        layout->addWidget(radio);
        group->addButton(radio, choice.value);
        QObject::connect(radio, &QRadioButton::toggled, page, [group, radio](bool on) {
            if (on)
                for (QAbstractButton* other : group->buttons())
                    if (other != radio)
                        other->setChecked(false);
        });
    }
    page->loaders.push_back([group, &settings, key, missingValue] {
        const int value = settings.readInt(key.section, key.name, missingValue);
        for (QAbstractButton* radio : group->buttons())
            radio->setChecked(group->id(radio) == value);
    });
    page->savers.push_back([group, &settings, key] {
        if (group->checkedId() != -1)
            settings.writeInt(key, group->checkedId());
    });
}

// A folder field with its "Browse ..." button.
void directory(SettingsPage* page, QBoxLayout* layout, SettingsFile& settings, const SettingKey& key,
               const char* label, const PropertiesServices& services)
{
    layout->addWidget(new QLabel(qt(label), page));
    auto* row = new QHBoxLayout;
    auto* edit = new QLineEdit(page);
    auto* browse = new QPushButton("Browse ...", page);
    row->addWidget(edit);
    row->addWidget(browse);
    layout->addLayout(row);
    auto choose = services.chooseDirectory;
    QObject::connect(browse, &QPushButton::clicked, page, [edit, choose] {
        if (!choose)
            return;
        if (std::optional<std::string> chosen = choose(edit->text().toStdString()))
            edit->setText(QString::fromStdString(*chosen));
    });
    page->loaders.push_back([edit, &settings, key] { edit->setText(QString::fromStdString(settings.readText(key))); });
    page->savers.push_back([edit, &settings, key] { settings.writeText(key, edit->text().toStdString()); });
}

SettingsPage* jpegPcdPage(SettingsFile& settings)
{
    auto* page = new SettingsPage;
    auto* layout = new QVBoxLayout(page);
    check(page, layout, settings, settings::LoadGrayscale, "&Load grayscale (ca. 2 times faster)");
    auto* photoCd = new QGroupBox("Photo CD", page);
    auto* sizes = new QVBoxLayout(photoCd);
    radios(page, sizes, settings, settings::LoadingSize,
           {{"&Base         (768 x 512 pixels)", 2}, {"B&ase/4      (384 x 256 pixels)", 1},
            {"Ba&se/16    (192 x 128 pixels)", 0}},
           2);
    layout->addWidget(photoCd);
    layout->addStretch();
    return page;
}

SettingsPage* animatedGifPage(SettingsFile& settings)
{
    auto* page = new SettingsPage;
    auto* layout = new QVBoxLayout(page);
    auto* intro = new QLabel(
        "Pictorand is the first graphic viewer WORLDWIDE with Multiple-GIF support. Please select an option:", page);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* animate = new QRadioButton("&Animation ", page);
    auto* none = new QRadioButton("&None (display the first image)", page);
    auto* extract = new QRadioButton("&Save all images as BMPs into directory:", page);
    auto* folder = new QLineEdit(page);
    for (QWidget* control : {static_cast<QWidget*>(animate), static_cast<QWidget*>(none),
                             static_cast<QWidget*>(extract), static_cast<QWidget*>(folder)})
        layout->addWidget(control);
    layout->addStretch();
    page->loaders.push_back([=, &settings] {
        if (settings.readInt(settings::MultiGifAnimate) != 0)
            animate->setChecked(true);
        else if (settings.readInt(settings::MultiGifNone) != 0)
            none->setChecked(true);
        else
            extract->setChecked(true);
        folder->setText(QString::fromStdString(settings.readText(settings::ExtractGif)));
    });
    page->savers.push_back([=, &settings] {
        settings.writeText(settings::MultiGifAnimate, animate->isChecked() ? "1" : "0");
        settings.writeText(settings::MultiGifNone, none->isChecked() ? "1" : "0");
        settings.writeText(settings::ExtractGif, folder->text().toStdString());
    });
    return page;
}

SettingsPage* extensionsPage(const PropertiesServices& services)
{
    SettingsFile& settings = services.settings;
    auto* page = new SettingsPage;
    auto* layout = new QVBoxLayout(page);
    auto* box = new QGroupBox("Associated file extensions at the Explorer:", page);
    auto* grid = new QGridLayout(box);
    auto boxes = std::make_shared<std::vector<QCheckBox*>>();
    const std::vector<AssociationBox>& groups = associationGroups();
    for (size_t i = 0; i < groups.size(); ++i) {
        auto* groupBox = new QCheckBox(qt(groups[i].text), box);
        grid->addWidget(groupBox, int(i % 7), int(i / 7));
        boxes->push_back(groupBox);
    }
    layout->addWidget(box);
    auto* thumbnail = new QCheckBox("&Use Thumbnail for BMPs", page);
    layout->addWidget(thumbnail);
    auto* buttons = new QHBoxLayout;
    auto* all = new QPushButton("Select all", page);
    auto* clear = new QPushButton("Clear all", page);
    buttons->addWidget(all);
    buttons->addWidget(clear);
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->addStretch();
    QObject::connect(all, &QPushButton::clicked, page, [boxes] {
        for (QCheckBox* b : *boxes)
            b->setChecked(true);
    });
    QObject::connect(clear, &QPushButton::clicked, page, [boxes] {
        for (QCheckBox* b : *boxes)
            b->setChecked(false);
    });
    page->loaders.push_back([boxes, thumbnail, &settings] {
        const std::vector<AssociationBox>& known = associationGroups();
        for (size_t i = 0; i < known.size(); ++i)
            (*boxes)[i]->setChecked(settings.readInt(settings::ExtensionsSection, known[i].key, 0) != 0);
        thumbnail->setChecked(settings.readInt(settings::UseThumbBmp) != 0);
    });
    auto apply = services.applyAssociations;
    page->savers.push_back([boxes, thumbnail, apply] {
        std::vector<bool> ticked;
        for (QCheckBox* b : *boxes)
            ticked.push_back(b->isChecked());
        if (apply)
            apply(ticked, thumbnail->isChecked());
    });
    return page;
}

SettingsPage* copyMovePage(const PropertiesServices& services)
{
    SettingsFile& settings = services.settings;
    auto* page = new SettingsPage;
    auto* layout = new QVBoxLayout(page);
    directory(page, layout, settings, settings::CopyDir, "Default \"copy-to\" directory:", services);
    check(page, layout, settings, settings::AskCopy, "&Ask me before copying");
    directory(page, layout, settings, settings::MoveDir, "Default \"move-to\" directory:", services);
    check(page, layout, settings, settings::AskMove, "A&sk me before moving");
    layout->addStretch();
    return page;
}

SettingsPage* otherOptionsPage(SettingsFile& settings)
{
    auto* page = new SettingsPage;
    auto* layout = new QVBoxLayout(page);
    check(page, layout, settings, settings::AskDelete, " &Ask me before deleting files");
    check(page, layout, settings, settings::OneInstance, " &Only 1 instance of Pictorand32 is active");
    check(page, layout, settings, settings::ShowFullScreenName, "S&how image filename in fullscreen mode");
    check(page, layout, settings, settings::RenameExtension, "As&k to rename if incorrect extension");
    check(page, layout, settings, settings::FitForBigImages, "Al&ways  'Fit To Desktop'  for big images");
    check(page, layout, settings, settings::UseResample,
          "&Use 'Resample' function for 'Fit To Desktop' and Fullscreen mode (Smooth, slower, but better quality)");
    QCheckBox* remember = check(page, layout, settings, settings::RememberWinPos, "&Remember the last window position");
    // Forgetting the position forgets where it was, too.
    page->savers.push_back([remember, &settings] {
        if (!remember->isChecked()) {
            settings.writeText(settings::XKoord, "0");
            settings.writeText(settings::YKoord, "0");
        }
    });
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("MRUDs list (most recently used directories)", page));
    auto* clear = new QPushButton("Clear", page);
    row->addWidget(clear);
    layout->addLayout(row);
    QObject::connect(clear, &QPushButton::clicked, page, [&settings] {
        for (const SettingKey& key : settings::RecentDirs)
            settings.writeText(key, "");
    });
    layout->addStretch();
    return page;
}

SettingsPage* jpegGifPage(SettingsFile& settings)
{
    auto* page = new SettingsPage;
    auto* layout = new QVBoxLayout(page);
    auto* qualityRow = new QHBoxLayout;
    qualityRow->addWidget(new QLabel("Quality:", page));
    auto* quality = new QScrollBar(Qt::Horizontal, page);
    quality->setRange(50, 95);
    quality->setSingleStep(1);
    quality->setPageStep(5);
    auto* shown = new QLabel(page);
    qualityRow->addWidget(quality, 1);
    qualityRow->addWidget(shown);
    layout->addLayout(qualityRow);
    // A page step that would leave 50..95 is ignored rather than clamped.
    auto stored = std::make_shared<int>(80);
    QObject::connect(quality, &QScrollBar::actionTriggered, page, [quality, stored, shown](int action) {
        int next = *stored;
        switch (action) {
        case QAbstractSlider::SliderSingleStepAdd: next += 1; break;
        case QAbstractSlider::SliderSingleStepSub: next -= 1; break;
        case QAbstractSlider::SliderPageStepAdd: next += 5; break;
        case QAbstractSlider::SliderPageStepSub: next -= 5; break;
        case QAbstractSlider::SliderMove: shown->setText(QString::number(quality->sliderPosition())); return;
        default: return;
        }
        if (next >= 50 && next <= 95)
            *stored = next;
        quality->setSliderPosition(*stored);
        shown->setText(QString::number(*stored));
    });
    QObject::connect(quality, &QScrollBar::sliderReleased, page, [quality, stored, shown] {
        *stored = quality->value();
        shown->setText(QString::number(*stored));
    });
    page->loaders.push_back([quality, stored, shown, &settings] {
        *stored = std::clamp(settings.readInt(settings::SaveQuality), 50, 95);
        quality->setValue(*stored);
        shown->setText(QString::number(*stored));
    });
    page->savers.push_back([stored, &settings] { settings.writeInt(settings::SaveQuality, *stored); });
    check(page, layout, settings, settings::SaveGrayscale, "&Save grayscale");
    check(page, layout, settings, settings::SaveProgressive, "Save &progressive");
    // A JPEG only rotated or flipped keeps every pixel as it was compressed.
    check(page, layout, settings, settings::SaveLosslessTurn, "Rotate and flip &without recompressing");
    check(page, layout, settings, settings::SaveTrimEdges, "Trim partial &edge blocks without asking");
    auto* gif = new QGroupBox("GIF", page);
    auto* gifLayout = new QVBoxLayout(gif);
    gifLayout->addWidget(new QLabel("Set the transparency value to palette entry:", gif));
    auto* transparency = new QLineEdit(gif);
    gifLayout->addWidget(transparency);
    check(page, gifLayout, settings, settings::SaveTransparent, "Save &Transparent Color");
    check(page, gifLayout, settings, settings::SaveInterlaced, "Save &Interlaced");
    layout->addWidget(gif);
    page->loaders.push_back([transparency, &settings] {
        transparency->setText(QString::number(std::clamp(settings.readInt(settings::Transparency), 0, 255)));
    });
    page->savers.push_back([transparency, &settings] {
        bool number = false;
        const uint value = transparency->text().trimmed().toUInt(&number);
        settings.writeText(settings::Transparency, std::to_string(number ? value : 0u));
    });
    layout->addStretch();
    return page;
}

SettingsPage* tiffPage(SettingsFile& settings)
{
    auto* page = new SettingsPage;
    auto* layout = new QVBoxLayout(page);
    auto* box = new QGroupBox("Compression", page);
    auto* radiosLayout = new QVBoxLayout(box);
    // The page offers LZW when the key is missing; readers take 0.
    radios(page, radiosLayout, settings, settings::SaveCompression,
           {{"&None", 0}, {"&LZW", 1}, {"&Packbits", 2}, {"CCITT Fax &3", 3}, {"CCITT Fax &4", 4},
            {"&Huffman RLE", 5}, {"&JPEG", 6}},
           1);
    layout->addWidget(box);
    layout->addStretch();
    return page;
}

} // namespace

PropertySheet::PropertySheet(const QString& name, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QString(kProgramCaption) + " " + name);
    auto* layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    layout->addWidget(m_tabs);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &PropertySheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) { showPage(index); });
}

void PropertySheet::addPage(SettingsPage* page, const QString& title)
{
    m_pages.push_back(page);
    m_tabs->addTab(page, title);
    if (m_pages.size() == 1)
        showPage(0);
}

void PropertySheet::showPage(int index)
{
    if (index < 0 || index >= int(m_pages.size()))
        return;
    SettingsPage* page = m_pages[size_t(index)];
    if (page->visited)
        return;
    for (const auto& load : page->loaders)
        load();
    page->visited = true;
}

void PropertySheet::accept()
{
    for (SettingsPage* page : m_pages)
        if (page->visited)
            for (const auto& save : page->savers)
                save();
    QDialog::accept();
}

PropertySheet* makePropertiesSheet(PropertiesServices services, QWidget* parent)
{
    auto* sheet = new PropertySheet("Properties", parent);
    sheet->addPage(jpegPcdPage(services.settings), "JPEG/PCD");
    sheet->addPage(animatedGifPage(services.settings), "Animated GIF");
    sheet->addPage(extensionsPage(services), "Extensions");
    sheet->addPage(copyMovePage(services), "Copy/Move");
    sheet->addPage(otherOptionsPage(services.settings), "Other Options");
    return sheet;
}

PropertySheet* makeSaveOptionsSheet(SettingsFile& settings, QWidget* parent)
{
    auto* sheet = new PropertySheet("Save Properties", parent);
    sheet->addPage(jpegGifPage(settings), "JPEG/GIF");
    sheet->addPage(tiffPage(settings), "TIFF");
    return sheet;
}

void runSaveOptionsSheet(SettingsFile& settings, QWidget* parent)
{
    std::unique_ptr<PropertySheet> sheet(makeSaveOptionsSheet(settings, parent));
    sheet->exec();
}

} // namespace pictorand
