// What the window programs set up on their QApplication before the window
// opens: names, icon, Chinese texts and Chinese number and date formats.
#pragma once

class QApplication;

namespace vesk::gui {

// Names the application "vesk" for the desktop (its entry, its settings)
// without a display name: Qt would append a display name to every window
// title, so that dialog titles, which are complete already, would carry the
// program's name twice and be cut by the window manager. Installs the
// window icon and Qt's Chinese texts, and makes Chinese the default locale,
// so that the file dialogs show sizes, dates and file types in Chinese
// whatever the system's language.
void SetUpApplication(QApplication& app);

}  // namespace vesk::gui
