// libarchive is linked into the programs statically, so that vesk-cli (and
// every self-decrypting file made from it) still needs nothing beyond the C
// and C++ runtimes and zlib. The library keeps this one helper of its tar
// writers in the object that also holds the table of every archive format;
// taking the helper from there would pull in every writer and the
// compression and crypto libraries they need. The writers call it only for
// an entry type their format cannot hold, which the packer never hands them
// (sockets, devices and FIFOs are skipped before): it says so and refuses
// the entry, as the library's own does.
#include <archive.h>
#include <archive_entry.h>

#include <cerrno>

extern "C" int __archive_write_entry_filetype_unsupported(struct archive* a, struct archive_entry* entry,
                                                          const char* format) {
  archive_set_error(a, EINVAL, "%s: %s format cannot archive this entry",
                    archive_entry_pathname(entry), format);
  return ARCHIVE_FAILED;
}
