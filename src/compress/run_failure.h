// Why a compression or decompression run failed, in the words the user sees:
// the source gone, a folder that cannot be written, a stream that is not
// one, a full disk, or a read or write error.
#pragma once

#include <string>

namespace vesk {

// Why no file could be made, or a complete one put in place, in `folder`:
// text::kDiskFull when the disk is (nearly) full, else text::CannotWriteFolder.
std::string FolderFailure(const std::string& folder);

// Why a run from `source` into the staging file `dest` ended abnormally.
// `decompress` and `began` (the run had reported its start) tell a stream the
// decompression refused from a failure while writing.
std::string RunFailure(const std::string& source, const std::string& dest, bool decompress, bool began);

}  // namespace vesk
