// What the window programs set up on their QApplication before the window
// opens: names, icon, Qt's texts and number and date formats in the
// language the window shows (Chinese unless English was chosen).
#pragma once

class QApplication;

namespace vesk::gui {

// Names the application "vesk" for the desktop (its entry, its settings)
// without a display name: Qt would append a display name to every window
// title, so that dialog titles, which are complete already, would carry the
// program's name twice and be cut by the window manager. Installs the
// window icon and Qt's texts in the shown language, and makes that language
// the default locale, so that the file dialogs show sizes, dates and file
// types in it whatever the system's locale.
void SetUpApplication(QApplication& app);

}  // namespace vesk::gui
