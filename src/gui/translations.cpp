#include "gui/translations.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

namespace vesk::gui {

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

}  // namespace vesk::gui
