#include "shell/dialogs/dialog_fitting.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QBoxLayout>
#include <QCompleter>
#include <QDateTime>
#include <QDialog>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSpacerItem>
#include <QStyle>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

namespace pictorand {

namespace {

// Columns of QFileDialog's details list: name, size, type, date modified.
enum Column { NameColumn, SizeColumn, TypeColumn, DateColumn, ColumnCount };

// The widest of `texts` in the list's font, with the room a header
// section takes around its text.
int columnWidth(const QTreeView& view, const QStringList& texts)
{
    const QFontMetrics metrics(view.font());
    int widest = 0;
    for (const QString& text : texts)
        widest = std::max(widest, metrics.horizontalAdvance(text));
    const int margin = view.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &view);
    return widest + 4 * margin + 8;
}

// The types the model names for the files the dialog's filters show, as
// it names them: the MIME type's comment; "Folder" for folders.
QStringList typeTexts(const QFileDialog& dialog)
{
    QStringList texts{"Folder"};
    const QMimeDatabase database;
    static const QRegularExpression pattern(R"(\*\.(\w+))");
    for (const QString& filter : dialog.nameFilters()) {
        for (auto match = pattern.globalMatch(filter); match.hasNext();) {
            const QString comment =
                database.mimeTypeForFile("a." + match.next().captured(1), QMimeDatabase::MatchExtension).comment();
            if (!texts.contains(comment))
                texts << comment;
        }
    }
    return texts;
}

} // namespace

int titleBarWidth(const QString& title)
{
    QFont font = QApplication::font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    // The icon and three buttons are about square in a bar about twice the
    // text's height.
    return metrics.horizontalAdvance(title) + 8 * metrics.height();
}

void keepTitleWhole(QDialog& dialog)
{
    const QMargins margins = dialog.contentsMargins() + (dialog.layout() ? dialog.layout()->contentsMargins() : QMargins());
    const int width = titleBarWidth(dialog.windowTitle()) - margins.left() - margins.right();
    // A spacer as wide as that, without height, in the layout: a fixed-size
    // layout would undo a minimum width set on the dialog itself.
    auto* spacer = new QSpacerItem(width, 0, QSizePolicy::Fixed, QSizePolicy::Fixed);
    if (auto* box = qobject_cast<QBoxLayout*>(dialog.layout())) {
        if (box->direction() == QBoxLayout::TopToBottom || box->direction() == QBoxLayout::BottomToTop) {
            box->addItem(spacer);
            return;
        }
    } else if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        grid->addItem(spacer, grid->rowCount(), 0, 1, grid->columnCount());
        return;
    }
    delete spacer;
    dialog.setMinimumWidth(std::max(dialog.minimumWidth(), width + margins.left() + margins.right()));
}

void fitFileDialog(QFileDialog& dialog)
{
    if (auto* view = dialog.findChild<QTreeView*>("treeView")) {
        const QLocale locale;
        const QDateTime wideDate(QDate(2028, 12, 28), QTime(23, 58));
        const int widths[ColumnCount] = {
            // Names are cut before the other columns are.
            QFontMetrics(view->font()).horizontalAdvance(QString(24, 'n')),
            columnWidth(*view, {"Size", locale.formattedDataSize(qint64(1023) * 1024 * 1024 - 1)}),
            columnWidth(*view, typeTexts(dialog) << "Type"),
            columnWidth(*view, {"Date Modified", locale.toString(wideDate, QLocale::ShortFormat)}),
        };
        QHeaderView* header = view->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
        int total = 0;
        for (int column = 0; column < ColumnCount; ++column) {
            if (column != NameColumn)
                header->resizeSection(column, widths[column]);
            total += widths[column];
        }
        view->setMinimumWidth(total + view->verticalScrollBar()->sizeHint().width() + 2 * view->frameWidth());
    }
    // The places beside it ("Computer", the home folder) whole too.
    if (auto* places = dialog.findChild<QListView*>("sidebar"))
        places->setMinimumWidth(places->sizeHintForColumn(0) + 2 * places->frameWidth()
                                + places->verticalScrollBar()->sizeHint().width());
    if (auto* name = dialog.findChild<QLineEdit*>("fileNameEdit")) {
        QObject::connect(name, &QLineEdit::textChanged, &dialog, [name](const QString& text) {
            // Later: the field empties while the completer still handles
            // the key that entered the folder.
            if (text.isEmpty() && name->completer())
                QTimer::singleShot(0, name->completer()->popup(), &QWidget::hide);
        });
    }
}

} // namespace pictorand
