#pragma once
// The DM session's state: the application and library objects, the current library with its
// SQL object and engine, and the transactions and claims open on each library. Held in the
// context as `cx.session`.
#include <QHash>
#include <QString>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "platform/dm/dm_api.h"

namespace sw {

// One level of a transaction: the transaction itself or a savepoint inside it. Parts that join
// the level and statements that fail while it is the innermost one decide its fate: a level that
// failed rolls back at its end, a savepoint alone, the transaction whole.
struct TransactionLevel {
  QString Savepoint;  // empty for the transaction itself
  int Joined = 0;     // parts that joined this level and have not ended yet
  bool RollbackOnly = false;
};

// What the library checks learned that nothing can change while a transaction lasts on the
// library (another connection cannot write it, and the program changes neither): kept with the
// transaction and gone with it. Only the answer of a read that succeeded is kept.
struct TransactionFacts {
  std::optional<qint64> QuotedIdentifier;  // IS_QUOTED_IDENTIFIER_ON as read (-1 when no row came back)
  bool UniqueNamesChecked = false;         // the unique-names property was read and its mark saved
};

// A transaction open on one library, its levels outermost first (empty when none is open).
struct OpenTransaction {
  std::vector<TransactionLevel> Levels;
  TransactionFacts Facts;
};

// A statement pattern as adapted to the current library's engine; it serves once it has read, for
// its first statements, as their own texts adapted.
struct AdaptedPattern {
  QString kinds;  // of the literals it was checked with
  QString text;
  int checksLeft = 2;
  bool usable = true;
};
struct AdaptedPatterns {
  // What they were adapted for: the engine, the owner and the server's facts.
  qint64 engine = 0;
  QString owner, productVersion, compatibilityLevel;
  QHash<QString, std::vector<AdaptedPattern>> byPattern;  // one for each kinds of its literals
  qsizetype count = 0;
  // Statements without lifted literals, as adapted: the library checks send the same ones at
  // every switch.
  QHash<QString, QString> plain;
};

// Another computer's claim on a rule: its computer (upper case) and the claim's time as the SQL
// object gives it.
struct ClaimOfAnother {
  QString node;
  QString since;
};

// State of the DM session.
struct SessionState {
  dm::DmApplicationPtr FusionApplication;
  dm::DmLibrariesPtr FusionLibraries;
  QString FusionSecurityToken;
  dm::DmLibraryPtr CurrentLibrary;
  dm::PcdSqlPtr pSQL;
  qint64 DatabaseEngine = 0;
  QString MachineName;
  dm::DmSessionHelperPtr SessionHelper;
  std::map<QString, OpenTransaction> OpenTransactions;  // by upper-cased library name
  // Upper-cased libraries where this computer wrote a claim not yet dropped, with the rules claimed.
  std::map<QString, QStringList> ClaimLibraries;
  // "LIBRARY:rule" of claims already named as left behind; forgotten when the library's claims go.
  std::set<QString> ClaimsWarned;
  // The claim that made the last test or claim of a rule find the rule held; empty when none did.
  ClaimOfAnother HeldBy;
  // One set for each library adaptation met: a run that switches back and forth keeps them all.
  std::vector<AdaptedPatterns> Patterns;
};

}  // namespace sw
