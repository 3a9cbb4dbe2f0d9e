// Trees of files for the folder tests: a sample tree with every kind of
// entry the packer meets, a snapshot of a tree taken independently of the
// code under test (through descriptors, so that paths beyond PATH_MAX work),
// and tar run as a separate program, the independent reader and writer.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vesk::testing {

struct NodeInfo {
  char type = '?';     // 'd' folder, 'f' file, 'l' link, 'p' FIFO, 's' socket
  mode_t mode = 0;     // permission bits
  int64_t mtime_sec = 0;
  long mtime_nsec = 0;
  std::string data;    // a file's bytes or a link's target
  std::string same_as; // for every further name of a file: its first name
  friend bool operator==(const NodeInfo&, const NodeInfo&) = default;
};
using Snapshot = std::map<std::string, NodeInfo>;

// Everything below `root` (not `root` itself), by path relative to it.
Snapshot TakeSnapshot(const std::string& root);
// The entries a tar cannot hold (FIFOs, sockets) dropped.
Snapshot WithoutSpecials(Snapshot s);
// Times cut to whole seconds.
Snapshot ToSeconds(Snapshot s);
// A readable list of the differences, empty when equal.
std::string Differences(const Snapshot& expected, const Snapshot& actual);

// Builds the sample tree in `root` (created): UTF-8 and GBK-only names,
// empty files and folders, modes, nanosecond times, links inside and out,
// a file with three names, a FIFO, a socket, and a nesting deeper than
// PATH_MAX allows to name at once. Returns the stored names (below the top
// folder's name) of the FIFO and the socket.
std::vector<std::string> BuildSampleTree(const std::string& root);
// The deep part alone: `levels` folders of long names, a file at the bottom.
void BuildDeepChain(const std::string& root, int levels);
// Makes a folder and its contents writable again, so that it can be removed.
void MakeRemovable(const std::string& root);

// Runs a shell command; its exit status.
int Shell(const std::string& command);
// Single-quoted for the shell.
std::string Quote(const std::string& s);

// A 512-byte ustar header of one entry (type '0' file, '1' hard link, '2'
// symbolic link, '3' character device, '5' folder), for streams no tar
// program would write.
std::string UstarHeader(const std::string& name, char type, int64_t size, const std::string& link = "",
                        mode_t mode = 0644);
// Data padded to whole 512-byte records, and the two end records.
std::string Padded(const std::string& data);
std::string EndRecords();

}  // namespace vesk::testing
