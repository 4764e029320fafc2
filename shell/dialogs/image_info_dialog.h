#pragma once
// "Image properties" (IMAGEINFO): nine read-only edits beside their labels and
// OK. The texts are filled again at every paint, so they always show the
// record as it is.

#include "shell/core/image_info.h"

#include <QDialog>

#include <functional>

class QLineEdit;

namespace pictorand {

class ImageInfoDialog : public QDialog {
public:
    // `input` is asked for the present values whenever the dialog paints.
    ImageInfoDialog(std::function<ImageInfoInput()> input, QWidget* parent);
    QLineEdit* edit(int editId) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void fill();

    std::function<ImageInfoInput()> m_input;
    std::array<QLineEdit*, 9> m_edits{};
};

} // namespace pictorand
