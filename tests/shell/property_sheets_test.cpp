// The property sheets driven headless: what OK and Cancel leave in the
// settings file.
#include "shell/dialogs/property_sheets.h"

#include "platform/settings_keys.h"
#include "tests/support/scripted_user_interface.h"
#include "tests/support/test_support.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <gtest/gtest.h>

#include <memory>

namespace pictorand {
namespace {

using namespace pictorand::testing;

template <typename Control>
Control* controlNamed(QWidget* page, const QString& text)
{
    for (Control* control : page->findChildren<Control*>())
        if (control->text() == text)
            return control;
    return nullptr;
}

class Sheets : public ::testing::Test {
protected:
    std::string settingsText() const
    {
        if (!fileExists(settings.path()))
            return {};
        const std::vector<uint8_t> bytes = readFile(settings.path());
        return std::string(bytes.begin(), bytes.end());
    }
    std::unique_ptr<PropertySheet> properties()
    {
        return std::unique_ptr<PropertySheet>(makePropertiesSheet({settings, ui, {}, {}}, nullptr));
    }

    ScratchDir dir;
    SettingsFile settings{dir.file("P_RAND32.INI")};
    ScriptedUserInterface ui;
};

TEST_F(Sheets, OkWritesOnlyThePagesShownAndCancelNothing)
{
    auto sheet = properties();
    sheet->accept();
    EXPECT_EQ(settings.readText("JPEG", "Load Grayscale", "missing"), "0");
    EXPECT_EQ(settings.readText("PhotoCD", "Loading Size", "missing"), "2");
    EXPECT_EQ(settings.readText("Others", "AskDelete", "missing"), "missing");

    const std::string before = settingsText();
    sheet = properties();
    controlNamed<QRadioButton>(sheet->tabs()->widget(0), "Ba&se/16    (192 x 128 pixels)")->setChecked(true);
    sheet->tabs()->setCurrentIndex(4); // Other Options
    sheet->reject();
    EXPECT_EQ(settingsText(), before);

    sheet = properties();
    sheet->tabs()->setCurrentIndex(1);
    controlNamed<QRadioButton>(sheet->tabs()->widget(1), "&None (display the first image)")->setChecked(true);
    sheet->accept();
    EXPECT_EQ(settings.readInt(settings::MultiGifAnimate), 0);
    EXPECT_EQ(settings.readInt(settings::MultiGifNone), 1);
}

TEST_F(Sheets, SaveOptionsKeepTheirRanges)
{
    settings.writeText(settings::SaveQuality, "93");
    settings.writeText(settings::Transparency, "300");
    std::unique_ptr<PropertySheet> sheet(makeSaveOptionsSheet(settings, nullptr));
    QWidget* jpegGif = sheet->tabs()->widget(0);
    QScrollBar* quality = jpegGif->findChild<QScrollBar*>();
    quality->triggerAction(QAbstractSlider::SliderPageStepAdd); // 98 would leave 50..95
    quality->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(jpegGif->findChild<QLineEdit*>()->text(), "255");
    sheet->tabs()->setCurrentIndex(1);
    // A missing compression offers LZW.
    EXPECT_TRUE(controlNamed<QRadioButton>(sheet->tabs()->widget(1), "&LZW")->isChecked());
    sheet->accept();
    EXPECT_EQ(settings.readInt(settings::SaveQuality), 94);
    EXPECT_EQ(settings.readInt(settings::Transparency), 255);
    EXPECT_EQ(settings.readInt(settings::SaveCompression), 1);
}

} // namespace
} // namespace pictorand
