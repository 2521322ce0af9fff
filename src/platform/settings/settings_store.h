#pragma once
// The per-user settings store: text values by application, section and key, kept in one INI
// file per application under the user's configuration folder ($XDG_CONFIG_HOME, default
// ~/.config). Names compare without regard to case, as the original store does: an existing
// section or key keeps the spelling it was first saved with. Section and key names may hold
// blanks, slashes and backslashes (library names become section names).
#include <QList>
#include <QString>
#include <memory>

class QLockFile;
class QSettings;

namespace sw {

struct SettingValue {
  QString section;
  QString key;
  QString value;
};

class SettingsStore {
 public:
  SettingsStore();
  virtual ~SettingsStore();
  virtual QString GetSetting(const QString& app, const QString& section, const QString& key,
                             const QString& defaultValue = QString()) const;
  // False when the value could not be written (a folder or file that cannot be written).
  virtual bool SaveSetting(const QString& app, const QString& section, const QString& key, const QString& value);
  // Several values in one write of the file: each write replaces it and waits for the disk.
  // False when the file could not be written or a value lacks its section or key.
  virtual bool SaveSettings(const QString& app, const QList<SettingValue>& values);
  // An empty key deletes the whole section.
  virtual void DeleteSetting(const QString& app, const QString& section, const QString& key = QString());

  // Lets go of the file and removes the store's private folder; the next call opens them anew. The
  // program's ends call it: exit() and an ending signal destroy no store.
  void Close();

  // While a run goes, the file is looked at on disk once a cycle instead of before every read:
  // what the store itself writes is in memory at once, another program's edit shows from the
  // next cycle on. Off, every read looks at the disk.
  void LookAtDiskOncePerCycle(bool on);
  void NewCycle() { lookDue_ = true; }

  // The INI file that holds an application's settings.
  static QString SettingsFile(const QString& app);

 private:
  struct Kept;
  // The open file of the application last asked for: a value read again (every library switch
  // reads one) comes from memory, and the file is read again only when it has changed on disk.
  QSettings& Opened(const QString& app) const;
  // The open file for a write, under the lock QSettings itself takes to write it, read again if it
  // changed whatever the cycle: another program's edit is kept, not written over.
  QSettings& ForWriting(QLockFile& lock) const;
  // Reads the file again, whatever QSettings' own check of it would say.
  void ReadAnew() const;
  // Writes the open file and notes it as read; false when it could not be written. The lock is
  // the one ForWriting took.
  bool Written(QSettings& settings, QLockFile& lock) const;
  mutable std::unique_ptr<Kept> kept_;
  bool oncePerCycle_ = false;
  mutable bool lookDue_ = true;
};

}  // namespace sw
