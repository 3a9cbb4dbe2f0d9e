// Path helpers with the conventions the commands rely on: an extension is the
// part of the last path component from its last dot on, dot included.
#pragma once

#include <string>
#include <string_view>

namespace vesk {

// "/a/b.txt" -> ".txt"; "/a/b" -> ""; "/a.d/b" -> "".
std::string ExtractFileExt(std::string_view path);
// Replaces the extension (or appends `ext` when there is none).
std::string ChangeFileExt(std::string_view path, std::string_view ext);
// The last path component.
std::string ExtractFileName(std::string_view path);
// Everything up to and including the last "/" (empty when there is none).
std::string ExtractFilePath(std::string_view path);

// The system's temporary folder with a final "/": $TMPDIR, else /tmp.
std::string TempFolderPath();

// A folder's path without its final "/" (its full path for "." and the
// like): the stem of the names proposed for its container.
std::string FolderStem(const std::string& folder);

}  // namespace vesk
