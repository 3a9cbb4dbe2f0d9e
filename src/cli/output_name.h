// How "-o" names the output: when it already ends with the extension the
// command would append, it names the final file.
#pragma once

#include <optional>
#include <string>

namespace vesk::cli {

// The extension (UTF-8, with its dot) a keyed container stores for the file
// it holds; empty when `path` is no readable container or stores none. Reads
// only the unkeyed part of the header.
std::string StoredExtensionOf(const std::string& path);

// The target to hand to the decrypt command for "-o `output`": `output`
// without `ext` when it ends with it (the command appends `ext` again).
std::string DecryptTargetFor(const std::string& output, const std::string& ext);

// The folder "-o `output`" names, with its final "/", when `output` is an
// existing folder (given with or without the "/"): each output then goes
// there under the name it would have beside its source.
std::optional<std::string> ExistingFolderOf(const std::string& output);

}  // namespace vesk::cli
