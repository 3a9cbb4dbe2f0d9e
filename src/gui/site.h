// The web pages shipped with the program (help, update, home): a site folder
// holding index.html and jmz/Help.htm, jmz/Index.htm, each with its English
// version beside it (index-en.html, jmz/Help-en.htm, jmz/Index-en.htm),
// opened in the user's browser as local files.
#pragma once

#include <string>

#include <QUrl>

namespace vesk::gui {

// The site folder: the installed one, ../share/vesk/site from the program's
// folder, when it exists; otherwise `source_site` (the source tree's site/,
// for a program run from its build tree).
std::string FindSiteFolder(const std::string& program_folder, const std::string& source_site);

// The site folder of the running program.
std::string ProgramSiteFolder();

// The file that holds a page given by its path on the site ("/" is the home
// page index.html), whether it exists or not; empty when the path leaves
// the site folder or there is no site folder.
std::string SitePageFilePath(const std::string& site_folder, const std::string& path);

// The file:// address of a page given by its path on the site ("/" is the
// home page index.html); empty when the page is not in `site_folder` (or
// the path leaves it).
QUrl SitePageUrl(const std::string& site_folder, const std::string& path);

}  // namespace vesk::gui
