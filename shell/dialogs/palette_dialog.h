#pragma once
// "Palette entries" (template "PALETTEENTRYDLG"): the colour table of the
// current picture as a grid of 16 columns. A click selects an entry, a
// double click edits it with the colour chooser; each change goes straight
// into the current picture, with no undo.

#include "core/image_block.h"
#include "shell/core/image_menu_rules.h"

#include <QColor>
#include <QDialog>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;

namespace pictorand {

class PaletteGridWidget : public QWidget {
public:
    explicit PaletteGridWidget(QWidget* parent) : QWidget(parent) {}
    std::function<void(QPainter&)> painter;
    std::function<void(QPoint)> clicked;
    std::function<void(QPoint)> doubleClicked;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

class PaletteDialog : public QDialog {
public:
    // `chooseColor` picks a new colour starting from the given one; nothing
    // when the chooser is cancelled.
    using ColorChooser = std::function<std::optional<QColor>(QColor, QWidget*)>;

    // `block` is the current picture (1, 4 or 8 bits); `changed` repaints the
    // main window after an entry was written.
    PaletteDialog(ImageBlock& block, std::function<void()> changed, ColorChooser chooseColor, QWidget* parent);

    PaletteGridWidget* grid() const { return m_grid; }
    int selected() const { return m_selected; }
    QString indexText() const;
    QString valueText() const;
    void select(int index);
    void edit(int index);

    // The system colour chooser, fully open, with 16 custom colours kept for
    // as long as the program runs.
    static std::optional<QColor> runColorDialog(QColor initial, QWidget* parent);

private:
    void paintGrid(QPainter& painter);
    int entryCount() const;

    ImageBlock& m_block;
    std::function<void()> m_changed;
    ColorChooser m_chooseColor;
    PaletteGridWidget* m_grid;
    QLabel* m_index;
    QLabel* m_value;
    int m_selected = -1;
};

} // namespace pictorand
