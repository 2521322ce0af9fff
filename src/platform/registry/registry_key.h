#pragma once
// The registry-key object: reads keys and values from an INI file that stands for the
// machine's registry. Each INI group is one key, named by its full path with backslashes:
//
//   [HKEY_LOCAL_MACHINE\Software\Hummingbird\PowerDOCS]
//   CurrentVersion=5.3.1
//   PatchLevel=dword:00000002
//
// A value "dword:" followed by hex digits is a number, a value in double quotes is the text
// between them, anything else is text. Key paths and value names compare case-blind, as on
// Windows; a key exists when a group names it or any key below it. The file is found through
// $STACKWRIGHT_REGISTRY, else "registry.ini" in the DM server folder ($STACKWRIGHT_DM_SERVER,
// else the default demo server folder); without that file every read below a root fails.
#include <QString>
#include <QVariant>
#include <map>
#include <memory>
#include <optional>

namespace sw {

// The root keys, by the codes the registry-key object takes.
enum class RegistryRoot { ClassesRoot = 1, CurrentConfig = 2, CurrentUser = 3, LocalMachine = 4, Users = 5 };

class RegistryKey {
 public:
  RegistryKey() = default;

  // Opens the key at a root (codes 1 to 5) and, when `subKey` is not empty, at that path below
  // it. False for another code or a missing subkey; the key then stays closed.
  bool OpenRoot(int rootCode, const QString& subKey = QString());
  // The subkey of that name (a path with backslashes is allowed), or none when it does not exist.
  std::optional<RegistryKey> OpenSubKey(const QString& name) const;
  // The value of that name, or a null QVariant when this key holds no such value.
  QVariant ReadValue(const QString& name) const;

  bool IsOpen() const { return data_ != nullptr; }
  // The full path of the key, e.g. "HKEY_LOCAL_MACHINE\Software".
  QString Path() const { return path_; }

  // Where the registry file is looked for.
  static QString RegistryFile();

  // The parsed file: upper-cased key path -> upper-cased value name -> value.
  using Values = std::map<QString, QVariant>;
  using Keys = std::map<QString, Values>;

 private:
  std::shared_ptr<const Keys> data_;
  QString path_;
};

// The root name for a code ("HKEY_LOCAL_MACHINE" for 4); empty for an unknown code.
QString RegistryRootName(int rootCode);

}  // namespace sw
