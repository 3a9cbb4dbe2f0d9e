#include "gui/translations.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "settings/ini_store.h"
#include "settings/language_setting.h"

namespace vesk::gui {

Language StartInWindowLanguage() {
  Language language = LanguageFromEnvironment();
  try {
    const settings::IniFileStore store(settings::SettingsFilePath());
    language = settings::WindowLanguage(store, language);
  } catch (...) {
    // No home folder: the desktop's language.
  }
  UseLanguageFromFile(language, EnglishCataloguePath());
  return ShownLanguage();
}

QString QtChineseCatalogue(const QString& folder) {
  const QString dir = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
  return dir + "/qtbase_zh_CN.qm";
}

bool InstallChineseTranslations(QCoreApplication& app, const QString& folder) {
  const QString catalogue = QtChineseCatalogue(folder);
  if (!QFileInfo::exists(catalogue)) return false;
  auto* translator = new QTranslator(&app);
  if (!translator->load(catalogue) || !QCoreApplication::installTranslator(translator)) {
    delete translator;
    return false;
  }
  return true;
}

void InstallQtTexts(QCoreApplication& app, Language language) {
  if (language == Language::kChinese) {
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    InstallChineseTranslations(app);
  } else {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  }
}

}  // namespace vesk::gui
