// mimeapps.list, the user's choice of default applications: our entry is
// put first in the type's line of [Default Applications] and taken out
// again, character for character, so that the user's own entries and the
// rest of the file stay as they were.
#include <string>
#include <string_view>
#include <vector>

#include "desktop/shell_integration.h"

namespace vesk::shell {
namespace {

constexpr std::string_view kDefaultSection = "[Default Applications]";

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

// The lines of a file, and whether its last line ended with a line break.
struct Lines {
  std::vector<std::string> text;
  bool final_break = true;
};

Lines Split(std::string_view list) {
  Lines lines;
  std::size_t start = 0;
  while (start < list.size()) {
    std::size_t end = list.find('\n', start);
    if (end == std::string_view::npos) {
      lines.text.emplace_back(list.substr(start));
      lines.final_break = false;
      break;
    }
    lines.text.emplace_back(list.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string Join(const Lines& lines) {
  std::string out;
  for (std::size_t i = 0; i < lines.text.size(); ++i) {
    out += lines.text[i];
    if (i + 1 < lines.text.size() || lines.final_break) out += '\n';
  }
  return out;
}

bool IsHeader(std::string_view line) {
  const std::string_view t = Trim(line);
  return !t.empty() && t.front() == '[';
}

bool IsContent(std::string_view line) {
  const std::string_view t = Trim(line);
  return !t.empty() && t.front() != '#';
}

// The key of a "key=value" line; empty for other lines.
std::string_view KeyOf(std::string_view line) {
  const auto eq = line.find('=');
  return eq == std::string_view::npos ? std::string_view() : Trim(line.substr(0, eq));
}

// Where the value of a "key=value" line starts (after the blanks that
// follow "=").
std::size_t ValueStart(std::string_view line) {
  std::size_t at = line.find('=') + 1;
  while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
  return at;
}

// One entry of a value: where it starts and where it ends, its ";"
// included when there is one.
struct Item {
  std::size_t begin, end;
  std::string_view name;
};

std::vector<Item> ItemsOf(std::string_view line) {
  std::vector<Item> items;
  std::size_t start = ValueStart(line);
  while (start < line.size()) {
    std::size_t semicolon = line.find(';', start);
    const std::size_t stop = semicolon == std::string_view::npos ? line.size() : semicolon;
    const std::string_view name = Trim(line.substr(start, stop - start));
    const std::size_t end = semicolon == std::string_view::npos ? line.size() : semicolon + 1;
    if (!name.empty()) items.push_back({start, end, name});
    start = end;
  }
  return items;
}

// The span of lines [first, last) of each [Default Applications] section.
std::vector<std::pair<std::size_t, std::size_t>> DefaultSections(const Lines& lines) {
  std::vector<std::pair<std::size_t, std::size_t>> sections;
  for (std::size_t i = 0; i < lines.text.size(); ++i) {
    if (!IsHeader(lines.text[i]) || Trim(lines.text[i]) != kDefaultSection) continue;
    std::size_t end = i + 1;
    while (end < lines.text.size() && !IsHeader(lines.text[end])) ++end;
    sections.emplace_back(i, end);
  }
  return sections;
}

}  // namespace

std::string WithDefaultApplication(std::string_view list, std::string_view type, std::string_view entry) {
  Lines lines = Split(list);
  const std::string ours = std::string(entry) + ";";
  const auto sections = DefaultSections(lines);
  if (sections.empty()) {
    if (!lines.final_break && !lines.text.empty()) lines.final_break = true;
    lines.text.emplace_back(kDefaultSection);
    lines.text.push_back(std::string(type) + "=" + ours);
    lines.final_break = true;
    return Join(lines);
  }
  // A key file reader takes the last line of a key: that is the one that
  // counts, in the last section of that name.
  const auto [header, end] = sections.back();
  std::size_t found = end;
  for (std::size_t i = header + 1; i < end; ++i) {
    if (KeyOf(lines.text[i]) == type) found = i;
  }
  if (found == end) {
    std::size_t insert_at = header + 1;
    for (std::size_t i = header + 1; i < end; ++i) {
      if (IsContent(lines.text[i])) insert_at = i + 1;
    }
    lines.text.insert(lines.text.begin() + static_cast<std::ptrdiff_t>(insert_at), std::string(type) + "=" + ours);
    return Join(lines);
  }
  std::string& line = lines.text[found];
  const auto items = ItemsOf(line);
  if (!items.empty() && items.front().name == entry) return std::string(list);
  // Ours further back moves to the front.
  for (auto it = items.rbegin(); it != items.rend(); ++it) {
    if (it->name == entry) line.erase(it->begin, it->end - it->begin);
  }
  line.insert(ValueStart(line), ours);
  return Join(lines);
}

std::string WithoutDefaultApplication(std::string_view list, std::string_view type, std::string_view entry) {
  Lines lines = Split(list);
  const auto sections = DefaultSections(lines);
  std::vector<bool> drop(lines.text.size(), false);
  bool changed = false;
  for (const auto& [header, end] : sections) {
    bool section_changed = false;
    for (std::size_t i = header + 1; i < end; ++i) {
      if (KeyOf(lines.text[i]) != type) continue;
      std::string& line = lines.text[i];
      const auto items = ItemsOf(line);
      bool removed = false;
      for (auto it = items.rbegin(); it != items.rend(); ++it) {
        if (it->name != entry) continue;
        line.erase(it->begin, it->end - it->begin);
        removed = true;
      }
      if (!removed) continue;
      section_changed = true;
      if (Trim(std::string_view(line).substr(ValueStart(line))).empty()) drop[i] = true;
    }
    if (!section_changed) continue;
    changed = true;
    bool empty = true;
    for (std::size_t i = header + 1; i < end; ++i) {
      if (!drop[i] && IsContent(lines.text[i])) empty = false;
    }
    if (empty) drop[header] = true;
  }
  if (!changed) return std::string(list);
  Lines kept;
  kept.final_break = lines.final_break;
  for (std::size_t i = 0; i < lines.text.size(); ++i) {
    if (!drop[i]) kept.text.push_back(lines.text[i]);
  }
  if (kept.text.empty()) return {};
  return Join(kept);
}

}  // namespace vesk::shell
