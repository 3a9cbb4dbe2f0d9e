// The window's language: the setting in the popup menu, else the desktop's
// (platform/language.h), chosen once at the start; Qt's own texts (message
// box buttons, file dialogs) and number and date formats follow it.
#pragma once

#include <QString>

#include "platform/language.h"

class QCoreApplication;

namespace vesk::gui {

// Reads the setting from the settings file and loads the catalogue: every
// text shown from then on is in the language returned.
Language StartInWindowLanguage();

// Qt's Chinese catalogue "qtbase_zh_CN" in Qt's translations folder (Debian:
// qt6-translations-l10n); `folder` overrides the folder.
QString QtChineseCatalogue(const QString& folder = {});

// Loads that catalogue into the application; false when it is not
// installed (the dialogs then keep Qt's English texts).
bool InstallChineseTranslations(QCoreApplication& app, const QString& folder = {});

// Qt's texts and the default locale in `language`: Chinese loads Qt's
// Chinese catalogue, English keeps Qt's own texts.
void InstallQtTexts(QCoreApplication& app, Language language);

}  // namespace vesk::gui
