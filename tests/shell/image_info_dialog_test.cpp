// The image information dialog through the keys a user presses, delivered
// as the window system delivers them: I opens it over the viewer and Esc
// closes it; Alt+I opens the Image menu and Esc closes that. Esc must end
// no more than what is open: the viewer stays.

#include "shell/dialogs/image_info_dialog.h"
#include "tests/shell/viewer_fixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>

namespace pictorand {
namespace {

using ImageInfoDialogTest = testing::ViewerFixture;

TEST_F(ImageInfoDialogTest, EscClosesTheDialogOrTheMenuAndTheViewerStays)
{
    MainWindow& w = startWith(ImageBlock::create(100, 10, 1, 2), "info.bmp");
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    bool quit = false;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &w, [&quit] { quit = true; });
    for (int round = 0; round < 5; ++round) {
        // Esc once the dialog is up; the timer gives up after a few seconds
        // so that a dialog that never comes cannot hang the test.
        QString name;
        auto* poll = new QTimer(&w);
        int polls = 0;
        QObject::connect(poll, &QTimer::timeout, [&name, &polls, poll] {
            auto* dialog = dynamic_cast<ImageInfoDialog*>(QApplication::activeModalWidget());
            if (!dialog && ++polls < 300)
                return;
            poll->deleteLater();
            if (!dialog)
                return;
            name = dialog->edit(1124)->text();
            QTest::keyClick(dialog->windowHandle(), Qt::Key_Escape);
            if (dialog->isVisible())
                dialog->reject();
        });
        poll->start(10);
        QTest::keyClick(w.windowHandle(), Qt::Key_I);
        EXPECT_EQ(name, "info.bmp") << round;
        // Without a window manager nothing gives the viewer the focus back.
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));

        // As the window system delivers them, so the menu bar's mnemonic works.
        QTest::keyClick(w.windowHandle(), Qt::Key_I, Qt::AltModifier);
        QWidget* menu = QApplication::activePopupWidget();
        ASSERT_NE(qobject_cast<QMenu*>(menu), nullptr) << round;
        QTest::keyClick(menu->windowHandle(), Qt::Key_Escape);
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << round;
        ASSERT_TRUE(w.isVisible()) << round;
        ASSERT_FALSE(quit) << round;
        // The menu bar stays highlighted, as the platform's did: a second
        // Esc leaves it, and only then is Esc the viewer's again.
        EXPECT_NE(w.menuBar()->activeAction(), nullptr) << round;
        QTest::keyClick(w.windowHandle(), Qt::Key_Escape);
        EXPECT_EQ(w.menuBar()->activeAction(), nullptr) << round;
        ASSERT_TRUE(w.isVisible()) << round;
        ASSERT_FALSE(quit) << round;
    }
}

} // namespace
} // namespace pictorand
