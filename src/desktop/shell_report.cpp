// How a registration's typed result reads: one line per step for vesk-cli,
// one summary line for the window's status bar.
#include <algorithm>
#include <string>
#include <vector>

#include "desktop/shell_integration.h"

namespace vesk::shell {
namespace {

std::string Joined(const std::vector<std::string>& parts, const char* separator) {
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : separator) + p;
  return out;
}

void AddOnce(std::vector<std::string>& list, const std::string& item) {
  if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

// What happened, without the place.
std::string OutcomeText(const Step& s) {
  switch (s.outcome) {
    case Outcome::kWritten: return s.place == Place::kDatabases ? "已更新" : "已写入";
    case Outcome::kUnchanged: return "已是这样, 未改动";
    case Outcome::kRemoved: return "已删除";
    case Outcome::kAbsent: return "没有本程序的项";
    case Outcome::kKeptForeign: return "这里的文件不是本程序写的, 保留未动";
    case Outcome::kRefusedForeign: return "这里已有不是本程序写的文件, 没有覆盖";
    case Outcome::kFallback:
      return "没有安装 " + s.detail + ", 只能放入“脚本”子菜单 (安装 " + s.detail + " 后再增加一次即为顶层菜单项)";
    case Outcome::kToolMissing: return "没有安装 " + s.detail + ", 未能更新";
    case Outcome::kFailed: return "出错: " + s.detail;
    case Outcome::kSkipped: return "未执行 (前面的步骤没有完成)";
  }
  return {};
}

// A step in the summary: the place and why, with the path where it helps
// the user find the file.
std::string Brief(const Step& s) {
  std::string text = PlaceName(s.place) + ": " + OutcomeText(s);
  if ((s.outcome == Outcome::kRefusedForeign || s.outcome == Outcome::kKeptForeign) && !s.path.empty()) {
    text += " (" + s.path + ")";
  }
  return text;
}

}  // namespace

std::string PlaceName(Place place) {
  switch (place) {
    case Place::kProgram: return "程序";
    case Place::kMimePackage: return "文件类型 .jmz";
    case Place::kTypeIcon: return ".jmz 文件的图标";
    case Place::kAssociationEntry: return "打开 .jmz 文件的桌面项";
    case Place::kDefaultApplication: return "默认程序 (mimeapps.list)";
    case Place::kDatabases: return "桌面数据库";
    case Place::kProgramIcon: return "菜单项的图标";
    case Place::kNautilus: return "GNOME 文件";
    case Place::kThunar: return "Thunar";
    case Place::kDolphin5: return "Dolphin (KDE 5)";
    case Place::kDolphin6: return "Dolphin (KDE 6)";
    case Place::kNemo: return "Nemo";
    case Place::kCaja: return "Caja";
    case Place::kFolders: return "注册时建立的文件夹";
    case Place::kSettings: return "设置";
  }
  return {};
}

std::string DescribeStep(const Step& step) {
  std::string text = PlaceName(step.place) + ": " + OutcomeText(step);
  if (!step.path.empty() && step.outcome != Outcome::kFailed) text += ": " + step.path;
  return text;
}

std::string Summary(Action action, const Result& result) {
  std::vector<std::string> problems, notes, menus;
  for (const Step& s : result.steps) {
    switch (s.outcome) {
      case Outcome::kFailed:
      case Outcome::kRefusedForeign:
        AddOnce(problems, Brief(s));
        break;
      case Outcome::kFallback:
      case Outcome::kToolMissing:
      case Outcome::kKeptForeign:
        AddOnce(notes, Brief(s));
        break;
      default:
        break;
    }
  }
  // The file managers that have the items now.
  for (Place p : {Place::kNautilus, Place::kThunar, Place::kDolphin6, Place::kNemo, Place::kCaja}) {
    bool done = false, bad = false;
    for (const Step& s : result.steps) {
      const bool same = s.place == p || (p == Place::kDolphin6 && s.place == Place::kDolphin5);
      if (!same) continue;
      done |= s.outcome == Outcome::kWritten || s.outcome == Outcome::kUnchanged || s.outcome == Outcome::kFallback;
      bad |= s.outcome == Outcome::kFailed || s.outcome == Outcome::kRefusedForeign;
    }
    if (done && !bad) menus.push_back(p == Place::kDolphin6 ? "Dolphin" : PlaceName(p));
  }
  std::string text;
  switch (action) {
    case Action::kAssociate:
      text = problems.empty() ? "已注册关联 .jmz 加密文件。" : "未能注册关联 .jmz 加密文件: " + Joined(problems, "; ") + "。";
      break;
    case Action::kContextMenu:
      if (problems.empty()) {
        text = std::string("已在右键菜单中增加 “") + kEncryptItem + "” 和 “" + kDecryptItem + "”: " + Joined(menus, "、") + "。";
      } else if (menus.empty()) {
        text = "未能在右键菜单中增加本程序: " + Joined(problems, "; ") + "。";
      } else {
        text = "右键菜单项只增加到了 " + Joined(menus, "、") + "; 未完成: " + Joined(problems, "; ") + "。";
      }
      break;
    case Action::kUnregister:
      text = problems.empty() ? "已清除本程序的全部注册项和设置。" : "未能全部清除本程序的注册项: " + Joined(problems, "; ") + "。";
      break;
  }
  if (!notes.empty()) text += " 注意: " + Joined(notes, "; ") + "。";
  return text;
}

}  // namespace vesk::shell
