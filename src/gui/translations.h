// The standard dialogs (message box buttons, open, save and colour dialogs)
// in Chinese like the window: Qt's own translations of its texts.
#pragma once

#include <QString>

class QCoreApplication;

namespace vesk::gui {

// Qt's Chinese catalogue "qtbase_zh_CN" in Qt's translations folder (Debian:
// qt6-translations-l10n); `folder` overrides the folder.
QString QtChineseCatalogue(const QString& folder = {});

// Loads that catalogue into the application; false when it is not
// installed (the dialogs then keep Qt's English texts).
bool InstallChineseTranslations(QCoreApplication& app, const QString& folder = {});

}  // namespace vesk::gui
