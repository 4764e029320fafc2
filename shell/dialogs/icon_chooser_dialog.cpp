#include "shell/dialogs/icon_chooser_dialog.h"

#include "ops/depth_conversion.h"
#include "ops/quantise.h"
#include "tools/painting/block_image.h"
#include "shell/core/image_menu_rules.h"

#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace pictorand {

void IconPreviewArea::setPicture(ImageBlock picture)
{
    m_picture = std::move(picture);
    update();
}

void IconPreviewArea::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!m_picture) {
        painter.setPen(Qt::black);
        painter.setBackgroundMode(Qt::TransparentMode);
        const QFontMetrics metrics(painter.font());
        painter.drawText(5, 5 + metrics.ascent(), "Error");
        return;
    }
    const PreviewPlacement at = fitIconPreview(width(), height(), m_picture.width(), m_picture.height());
    std::vector<uint8_t> scratch;
    drawBlock(painter, blockImage(m_picture, logicalPalette(m_picture), scratch),
              QRect(at.x, at.y, at.width, at.height));
}

IconChooserDialog::IconChooserDialog(const std::vector<std::string>& lines, ImageLoader loader, bool paletteDisplay,
                                     QWidget* parent)
    : QDialog(parent), m_loader(std::move(loader)), m_paletteDisplay(paletteDisplay)
{
    setObjectName("IconChooser113");
    setWindowTitle("Mutliple Icons");
    auto* prompt = new QLabel("This file contains many icons. Please select\none image:", this);
    m_list = new QListWidget(this);
    m_list->setObjectName("list1104");
    for (const std::string& line : lines)
        m_list->addItem(QString::fromStdString(line));
    m_list->setMinimumWidth(200);
    auto* accept = new QPushButton("Accept", this);
    accept->setObjectName("accept");
    accept->setDefault(true);
    connect(accept, &QPushButton::clicked, this, &QDialog::accept);
    auto* previewLabel = new QLabel("Preview:", this);
    m_preview = new IconPreviewArea(this);
    m_preview->setObjectName("preview1167");
    m_preview->setFixedSize(130, 130);

    auto* left = new QVBoxLayout;
    left->addWidget(prompt);
    left->addWidget(m_list, 1);
    left->addWidget(accept, 0, Qt::AlignLeft);
    auto* right = new QVBoxLayout;
    right->addWidget(previewLabel);
    right->addWidget(m_preview);
    right->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(right);

    connect(m_list, &QListWidget::currentRowChanged, this, [this](int) { showPreview(); });
    if (m_list->count() > 0)
        m_list->setCurrentRow(0); // shows its preview
    // One more preview once the dialog is on screen.
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    m_timer->setInterval(150);
    connect(m_timer, &QTimer::timeout, this, [this] { showPreview(); });
    m_timer->start();
}

int IconChooserDialog::chosenIndex() const
{
    return std::max(0, m_list->currentRow());
}

void IconChooserDialog::showPreview()
{
    ++m_previewsShown;
    const int row = m_list->currentRow();
    ImageBlock picture = row >= 0 && m_loader ? m_loader(row) : ImageBlock();
    if (picture && picture.bitCount() != 1 && picture.bitCount() != 4 && picture.bitCount() != 8 &&
        picture.bitCount() != 24)
        picture = normaliseDepth(picture).takeOr({});
    if (picture && m_paletteDisplay && picture.bitCount() == 24)
        if (Result<ImageBlock> reduced = quantise(picture, 256))
            picture = reduced.take();
    m_preview->setPicture(std::move(picture));
}

void IconChooserDialog::done(int)
{
    // Closing, Escape and "Accept" alike take the highlighted line.
    m_timer->stop();
    QDialog::done(QDialog::Accepted);
}

} // namespace pictorand
