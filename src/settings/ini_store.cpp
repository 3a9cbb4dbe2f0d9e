#include "settings/ini_store.h"

#include <sys/stat.h>

#include <stdexcept>

#include <QSettings>
#include <QString>
#include <QVariant>

namespace vesk::settings {
namespace {

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

StoredInteger Interpret(const QVariant& v) {
  if (!v.isValid()) return {};
  switch (v.typeId()) {
    case QMetaType::QString:
    case QMetaType::QByteArray: {
      const auto value = ParseStoredInteger(v.toString().toStdString());
      return value ? StoredInteger{ReadStatus::Ok, *value} : StoredInteger{ReadStatus::Unreadable, 0};
    }
    case QMetaType::Int: return {ReadStatus::Ok, v.toInt()};
    default: return {ReadStatus::Unreadable, 0};  // a list ("1, 2"), a point, ...
  }
}

}  // namespace

bool IniFileStore::Exists() const {
  struct stat st {};
  return ::lstat(path_.c_str(), &st) == 0;
}

StoredInteger IniFileStore::ReadInteger(std::string_view name) const {
  if (!Exists()) return {};
  const QSettings file(QString::fromStdString(path_), QSettings::IniFormat);
  return Interpret(file.value(Q(name)));
}

void IniFileStore::WriteInteger(std::string_view name, int32_t value) {
  {
    QSettings file(QString::fromStdString(path_), QSettings::IniFormat);
    // Whole-file replacement through a temporary file and a rename; never a
    // write into the file itself.
    file.setAtomicSyncRequired(true);
    file.setValue(Q(name), value);
    file.sync();
    if (file.status() == QSettings::AccessError) throw std::runtime_error("cannot write " + path_);
  }
  // A file QSettings could not parse reports that instead of a failed write,
  // so the value is checked where it matters: in the file.
  const StoredInteger back = ReadInteger(name);
  if (!back.ok() || back.value != value) throw std::runtime_error("cannot write " + path_);
}

}  // namespace vesk::settings
