#pragma once
// Sizes that fit what the dialogs show. A window manager cuts a title
// that is wider than its window ("Decrea... depth"); the file lists of the
// Open, Save, slideshow and batch dialogs squeeze their columns to a few
// letters in a dialog of Qt's default size.

class QDialog;
class QFileDialog;
class QString;

namespace pictorand {

// About how wide a title bar must be to show `title` whole: the text in a
// bold face of the application font, with room for the icon and the three
// buttons most window managers put beside it.
int titleBarWidth(const QString& title);

// Keeps `dialog` (its layout in place) at least as wide as its title bar
// needs for the title it has now.
void keepTitleWhole(QDialog& dialog);

// Gives the details list of a non-native file dialog columns that hold
// their texts (sizes, the types of the files its filters name, dates) and
// the dialog the width they need beside a readable name column; and closes
// the file-name completions when the field is emptied (entering a folder
// by its typed name leaves them up, empty, over the "Files of type" box).
void fitFileDialog(QFileDialog& dialog);

} // namespace pictorand
