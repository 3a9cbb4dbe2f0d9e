#include "gui/site.h"

#include <filesystem>

#include <QCoreApplication>

namespace vesk::gui {

std::string FindSiteFolder(const std::string& program_folder, const std::string& source_site) {
  std::error_code ec;
  const std::filesystem::path installed =
      (std::filesystem::path(program_folder) / ".." / "share" / "vesk" / "site").lexically_normal();
  if (!program_folder.empty() && std::filesystem::is_directory(installed, ec)) return installed.string();
  return source_site;
}

std::string ProgramSiteFolder() {
  return FindSiteFolder(QCoreApplication::applicationDirPath().toStdString(), VESK_SOURCE_SITE_DIR);
}

std::string SitePageFilePath(const std::string& site_folder, const std::string& path) {
  if (site_folder.empty()) return {};
  std::filesystem::path relative = std::filesystem::path(path).relative_path().lexically_normal();
  if (relative.empty() || relative == ".") relative = "index.html";
  if (*relative.begin() == "..") return {};
  std::error_code ec;
  return std::filesystem::absolute(std::filesystem::path(site_folder) / relative, ec).lexically_normal().string();
}

QUrl SitePageUrl(const std::string& site_folder, const std::string& path) {
  const std::string page = SitePageFilePath(site_folder, path);
  std::error_code ec;
  if (page.empty() || !std::filesystem::is_regular_file(page, ec)) return {};
  return QUrl::fromLocalFile(QString::fromStdString(page));
}

}  // namespace vesk::gui
