// The real Qt dialogs behind the user interface, inspected while they run.

#include "shell/qt_user_interface.h"
#include "tests/support/test_support.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTreeView>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace pictorand {
namespace {

// Runs `inspect` on the modal dialog once it is up.
void whenModal(std::function<void(QWidget*)> inspect)
{
    QTimer::singleShot(0, [inspect] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) {
            ADD_FAILURE() << "no modal dialog";
            return;
        }
        inspect(modal);
    });
}

TEST(QtUserInterface, MessagesAreCaptionedWithTheProgramAndItsIcon)
{
    QWidget owner;
    QtUserInterface ui(&owner);
    bool seen = false;
    whenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), "Pictorand32");
        EXPECT_EQ(box->text(), "No picture !");
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        seen = true;
        box->accept();
    });
    ui.showMessage("No picture !", MessageIcon::Warning);
    EXPECT_TRUE(seen);
}

TEST(QtUserInterface, QuestionsCanPreselectNo)
{
    QWidget owner;
    QtUserInterface ui(&owner);
    whenModal([](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
        box->defaultButton()->click();
    });
    EXPECT_FALSE(ui.askYesNo("Replace file: /tmp/x.bmp ?\n", MessageIcon::Question, true));
}

TEST(QtUserInterface, SaveDialogIsNonNativeWithTheTypesAndAnOptionsButton)
{
    testing::ScratchDir dir;
    QWidget owner;
    QtUserInterface ui(&owner);
    FileDialogRequest request;
    request.save = true;
    request.title = kSaveDialogTitle;
    request.directory = dir.path();
    request.types = saveDialogTypes();
    request.selectedType = 3;
    request.proposedName = "rose";
    request.optionsButton = true;
    request.optionsEnabled = true;
    QWidget* optionsOwner = nullptr;
    ui.saveOptionsSink = [&](QWidget* sheetOwner) { optionsOwner = sheetOwner; };
    whenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Save Picture As ...");
        EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_EQ(dialog->nameFilters().size(), 8);
        // The patterns are hidden: the dialog shows and reports the description.
        EXPECT_EQ(dialog->selectedNameFilter(), "(*.BMP) Windows Bitmap");
        QPushButton* options = nullptr;
        for (QPushButton* button : dialog->findChildren<QPushButton*>())
            if (button->text() == "Options")
                options = button;
        ASSERT_NE(options, nullptr);
        options->click();
        EXPECT_EQ(optionsOwner, dialog);
        dialog->selectNameFilter(dialog->nameFilters()[1]);
        dialog->selectFile(QString::fromStdString(dir.file("x.gif")));
        // As the user's OK: QDialog's accept() is public, QFileDialog's is not.
        QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    });
    std::optional<FileDialogResult> result = ui.runFileDialog(request);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->path, dir.file("x.gif"));
    EXPECT_EQ(result->type, 2);
}

TEST(QtUserInterface, OpenDialogListsEveryTypeAndPreviewsTheFileSelected)
{
    testing::ScratchDir dir;
    const std::string picture = dir.file("a.bmp");
    testing::writeFile(picture, {'B', 'M'});
    QWidget owner;
    QtUserInterface ui(&owner);
    ui.previewSink = [](const std::string& path, QSize area) {
        PreviewContent content;
        if (path.empty())
            return content;
        content.picture = QPixmap(area.width() / 2, area.height() / 2);
        content.picture.fill(Qt::red);
        return content;
    };
    FileDialogRequest request;
    request.title = "Open";
    request.directory = dir.path();
    request.types = openDialogTypes();
    const int typeCount = static_cast<int>(request.types.size());
    request.selectedType = typeCount; // the last, every file
    whenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Open");
        EXPECT_EQ(dialog->nameFilters().size(), typeCount);
        EXPECT_EQ(dialog->nameFilters()[1], "(*.JPG) JPEG - Files (*.jpg *.jpeg)");
        EXPECT_EQ(dialog->selectedNameFilter(), "All files (*.*)");
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
        emit dialog->currentChanged(QString::fromStdString(picture));
        bool previewed = false;
        for (QLabel* label : dialog->findChildren<QLabel*>())
            previewed = previewed || !label->pixmap().isNull();
        EXPECT_TRUE(previewed);
        dialog->reject();
    });
    EXPECT_FALSE(ui.runFileDialog(request));
}

TEST(QtUserInterface, FileListColumnsHoldTheirTextsAndATypedFolderLeavesNoCompletionsUp)
{
    testing::ScratchDir dir;
    std::filesystem::create_directory(dir.file("empty"));
    testing::writeFile(dir.file("a.png"), std::vector<uint8_t>(700'000));
    QtUserInterface ui(nullptr);
    ui.previewSink = [](const std::string&, QSize) { return PreviewContent{}; };
    FileDialogRequest request;
    request.directory = dir.path();
    request.types = openDialogTypes();
    whenModal([&](QWidget* modal) {
        auto* view = modal->findChild<QTreeView*>("treeView");
        ASSERT_NE(view, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([&] { return view->model()->rowCount(view->rootIndex()) == 2; }));
        // Every column whole, and all of them inside the list.
        for (int column = 0; column < 4; ++column)
            EXPECT_GE(view->header()->sectionSize(column), static_cast<QAbstractItemView*>(view)->sizeHintForColumn(column))
                << column;
        EXPECT_LE(view->header()->length(), view->viewport()->width());
        auto* name = modal->findChild<QLineEdit*>("fileNameEdit");
        name->setFocus();
        QTest::keyClicks(name, "empty");
        EXPECT_TRUE(name->completer()->popup()->isVisible());
        QTest::keyClick(name, Qt::Key_Return);
        EXPECT_EQ(static_cast<QFileDialog*>(modal)->directory().dirName(), "empty");
        EXPECT_TRUE(QTest::qWaitFor([&] { return !name->completer()->popup()->isVisible(); }));
        static_cast<QDialog*>(modal)->reject();
    });
    EXPECT_FALSE(ui.runFileDialog(request));
}

} // namespace
} // namespace pictorand
