#pragma once
// What the DM local-settings viewer reads of the DM session: the user's identity in the current
// library, the session's libraries and the current library's properties.
#include <QString>
#include <QStringList>

namespace sw {

class Context;

namespace admin {

// The three status panels: the session's default library, the user's login id and primary
// group in the current library.
struct DmIdentity {
  QString defaultLibrary;
  QString userName;
  QString primaryGroup;
};
DmIdentity ReadDmIdentity(Context& cx);

// The names of the session's libraries, in the order of the collection.
QStringList SessionLibraryNames(Context& cx);
// The names of the current library's properties, in the order of the collection.
QStringList LibraryPropertyNames(Context& cx);
// The value, as text, of the current library's property of that name; empty when it has none.
QString LibraryPropertyValue(Context& cx, const QString& name);

}  // namespace admin
}  // namespace sw
