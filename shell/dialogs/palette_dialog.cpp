#include "shell/dialogs/palette_dialog.h"

#include "ops/adjust.h"
#include "ops/color_table.h"
#include "shell/dialogs/dialog_fitting.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace pictorand {

void PaletteGridWidget::paintEvent(QPaintEvent*)
{
    QPainter widgetPainter(this);
    if (painter)
        painter(widgetPainter);
}

void PaletteGridWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && clicked)
        clicked(event->position().toPoint());
}

void PaletteGridWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && doubleClicked)
        doubleClicked(event->position().toPoint());
}

PaletteDialog::PaletteDialog(ImageBlock& block, std::function<void()> changed, ColorChooser chooseColor,
                             QWidget* parent)
    : QDialog(parent), m_block(block), m_changed(std::move(changed)), m_chooseColor(std::move(chooseColor))
{
    setObjectName("PALETTEENTRYDLG");
    setWindowTitle("Palette entries");
    auto* hint = new QLabel("Click on a color to select; double-click to edit", this);
    m_grid = new PaletteGridWidget(this);
    m_grid->setObjectName("grid");
    m_grid->setFixedSize(339, 339);
    m_grid->setAutoFillBackground(true);
    m_grid->painter = [this](QPainter& painter) { paintGrid(painter); };
    m_grid->clicked = [this](QPoint at) {
        const int index = PaletteGrid(m_grid->width(), m_grid->height()).entryAt(at.x(), at.y(), entryCount());
        if (index >= 0)
            select(index);
    };
    m_grid->doubleClicked = [this](QPoint at) {
        const int index = PaletteGrid(m_grid->width(), m_grid->height()).entryAt(at.x(), at.y(), entryCount());
        if (index >= 0) {
            select(index);
            edit(index);
        }
    };
    m_index = new QLabel(this);
    m_value = new QLabel(this);
    m_index->setObjectName("index");
    m_value->setObjectName("value");
    m_value->setFont(QFont("monospace"));
    m_value->setMinimumWidth(220);

    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* texts = new QHBoxLayout;
    texts->addWidget(m_index);
    texts->addStretch(1);
    texts->addWidget(m_value);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(m_grid, 0, Qt::AlignHCenter);
    layout->addLayout(texts);
    layout->addWidget(box);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    keepTitleWhole(*this);
}

int PaletteDialog::entryCount() const
{
    // The entries the block really holds: a table shorter than its depth
    // allows must not be read past its end.
    if (!m_block || m_block.bitCount() > 8)
        return 0;
    const uint32_t entries = std::min(pictorand::colorCount(m_block), 1u << m_block.bitCount());
    return static_cast<int>(entries);
}

void PaletteDialog::paintGrid(QPainter& painter)
{
    const PaletteGrid grid(m_grid->width(), m_grid->height());
    const int count = entryCount();
    const ColorEntry* table = m_block ? m_block.colorTable() : nullptr;
    for (int i = 0; i < count; ++i) {
        const GridCell cell = grid.cell(i);
        const ColorEntry& entry = table[i];
        painter.fillRect(cell.left, cell.top, cell.width, cell.height, QColor(entry.red, entry.green, entry.blue));
    }
    if (m_selected >= 0 && m_selected < count) {
        const GridCell cell = grid.cell(m_selected);
        painter.setPen(QPen(Qt::red, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(cell.left - 1, cell.top - 1, cell.width + 1, cell.height + 1);
    }
}

void PaletteDialog::select(int index)
{
    if (index < 0 || index >= entryCount())
        return;
    m_selected = index;
    const ColorEntry& entry = m_block.colorTable()[index];
    m_index->setText(QString::fromStdString(paletteIndexText(index)));
    m_value->setText(QString::fromStdString(paletteValueText(entry.red, entry.green, entry.blue)));
    // Repainting the grid takes the frame off the old cell.
    m_grid->update();
}

void PaletteDialog::edit(int index)
{
    if (index < 0 || index >= entryCount() || !m_chooseColor)
        return;
    const ColorEntry& entry = m_block.colorTable()[index];
    std::optional<QColor> chosen = m_chooseColor(QColor(entry.red, entry.green, entry.blue), this);
    if (!chosen || index >= entryCount())
        return;
    (void)setPaletteEntry(m_block, static_cast<uint32_t>(index), static_cast<uint8_t>(chosen->red()),
                    static_cast<uint8_t>(chosen->green()), static_cast<uint8_t>(chosen->blue()));
    select(index);
    m_grid->repaint();
    if (m_changed)
        m_changed();
}

QString PaletteDialog::indexText() const
{
    return m_index->text();
}

QString PaletteDialog::valueText() const
{
    return m_value->text();
}

std::optional<QColor> PaletteDialog::runColorDialog(QColor initial, QWidget* parent)
{
    // Qt keeps its custom colours in one process-wide table; our own copy
    // survives whatever else uses the chooser in between.
    static std::array<QColor, 16> custom = [] {
        std::array<QColor, 16> colors;
        colors.fill(QColor(Qt::white));
        return colors;
    }();
    for (int i = 0; i < 16; ++i)
        QColorDialog::setCustomColor(i, custom[static_cast<size_t>(i)]);
    QColorDialog dialog(initial, parent);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    for (int i = 0; i < 16; ++i)
        custom[static_cast<size_t>(i)] = QColorDialog::customColor(i);
    if (!accepted)
        return std::nullopt;
    return dialog.selectedColor();
}

} // namespace pictorand
