#pragma once
// "Mutliple Icons" (resource 113): picks one image of a multi-image icon
// file, with a preview of the highlighted line. There is no way to cancel:
// closing the dialog accepts the highlighted line.

#include "core/image_block.h"

#include <QDialog>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QListWidget;
class QTimer;

namespace pictorand {

class IconPreviewArea : public QWidget {
public:
    explicit IconPreviewArea(QWidget* parent) : QWidget(parent) {}
    // The picture to show; null shows "Error".
    void setPicture(ImageBlock picture);
    const ImageBlock& picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ImageBlock m_picture;
};

class IconChooserDialog : public QDialog {
public:
    // Reads image `index` of the file for the preview; null on failure.
    using ImageLoader = std::function<ImageBlock(int index)>;

    IconChooserDialog(const std::vector<std::string>& lines, ImageLoader loader, bool paletteDisplay,
                      QWidget* parent);

    QListWidget* list() const { return m_list; }
    IconPreviewArea* previewArea() const { return m_preview; }
    QTimer* previewTimer() const { return m_timer; }
    int previewsShown() const { return m_previewsShown; }
    // The highlighted line, from 0.
    int chosenIndex() const;

    void done(int result) override;

private:
    void showPreview();

    ImageLoader m_loader;
    bool m_paletteDisplay;
    QListWidget* m_list;
    IconPreviewArea* m_preview;
    QTimer* m_timer;
    int m_previewsShown = 0;
};

} // namespace pictorand
