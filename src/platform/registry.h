// A small per-user registry: two roots (HKEY_CURRENT_USER and
// HKEY_CLASSES_ROOT), each a tree of keys whose values are strings or 32-bit
// integers. Key paths are segments separated by "\"; key and value names
// match without regard to letter case and keep the case they were created
// with. A value named "" is the key's default (unnamed) value.
//
// Each root lives in one UTF-8 text file in the store's directory (see
// Registry::DefaultDirectory). Every change rewrites that file atomically
// (temporary file in the same folder, fsync, rename), so a crash or a full
// disk leaves either the old or the new file, never a mixture. Every access
// looks at the file again, so two Registry objects (or two processes) on the
// same directory see each other's changes. A damaged or unreadable file reads
// as an empty root; before a damaged file is replaced it is kept next to the
// new one with the suffix ".damaged".
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

enum class RegistryRoot { CurrentUser, ClassesRoot };

enum class RegistryValueType { String, Integer };

// Why a read gave no value: absent (no such key or value) or present with the
// other type.
enum class ReadStatus { Ok, Absent, WrongType };

template <typename T>
struct RegistryRead {
  ReadStatus status = ReadStatus::Absent;
  T value{};
  bool ok() const { return status == ReadStatus::Ok; }
};

// A failed change: the file could not be written, the key was deleted under
// an open handle, or a path or name is not valid.
class RegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Registry;

namespace registry_detail {
struct Node;
struct Snapshot;
}  // namespace registry_detail

// An open key. It names the key by its path and looks it up on each call, so
// it stays valid across changes made through other handles; once the key is
// deleted, reads see nothing and writes throw RegistryError.
class RegistryKey {
 public:
  RegistryRoot root() const { return root_; }
  // The path as it is stored (each segment in the case it was created with).
  std::string Path() const;
  bool Exists() const;

  RegistryRead<std::string> ReadString(std::string_view name) const;
  RegistryRead<int32_t> ReadInteger(std::string_view name) const;
  bool ValueExists(std::string_view name) const;
  std::optional<RegistryValueType> ValueType(std::string_view name) const;
  std::vector<std::string> ValueNames() const;

  // Writing replaces a value of the same name whatever its type.
  void WriteString(std::string_view name, std::string_view value);
  void WriteInteger(std::string_view name, int32_t value);
  // True when the value existed and was deleted.
  bool DeleteValue(std::string_view name);

  bool HasSubKey(std::string_view name) const;
  std::vector<std::string> SubKeyNames() const;

 private:
  friend class Registry;
  RegistryKey(Registry* registry, RegistryRoot root, std::vector<std::string> segments)
      : registry_(registry), root_(root), segments_(std::move(segments)) {}

  Registry* registry_;
  RegistryRoot root_;
  std::vector<std::string> segments_;
};

class Registry {
 public:
  // A store whose files are in `directory`; the directory is created (mode
  // 0700) on the first change.
  explicit Registry(std::string directory);
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // $XDG_CONFIG_HOME/vesk when XDG_CONFIG_HOME is an absolute path, else
  // $HOME/.config/vesk.
  static std::string DefaultDirectory();
  // The store of the current user at DefaultDirectory(), created on first use.
  static Registry& User();

  const std::string& Directory() const { return directory_; }
  // "<directory>/registry-current-user.txt" or ".../registry-classes-root.txt".
  std::string FilePath(RegistryRoot root) const;

  // Opens a key. With `create` the missing keys of the path are created
  // (which writes the file); without it a missing key gives nullopt. An empty
  // path is the root itself. Throws RegistryError for a path with an empty
  // segment or when creating fails.
  std::optional<RegistryKey> OpenKey(RegistryRoot root, std::string_view path, bool create);
  bool KeyExists(RegistryRoot root, std::string_view path);
  // Deletes a key with all its sub-keys and values. False when there was no
  // such key (the root itself is never deleted). Throws RegistryError when
  // the file cannot be written.
  bool DeleteKey(RegistryRoot root, std::string_view path);

 private:
  friend class RegistryKey;
  using Node = registry_detail::Node;

  // The tree of a root as its file holds it now.
  registry_detail::Snapshot Load(RegistryRoot root) const;
  // Reads the root's file afresh under the store's lock, lets `change` edit
  // the tree and writes the file when `change` returns true.
  void Mutate(RegistryRoot root, const std::function<bool(Node&)>& change);

  std::string directory_;
  std::mutex mutex_;  // one change at a time within this process
};

}  // namespace vesk
