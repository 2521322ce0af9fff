#pragma once
// The DM session's state: the application and library objects, the current library with its
// SQL object and engine, and the transactions and claims open on each library. Held in the
// context as `cx.session`.
#include <QString>
#include <map>
#include <set>

#include "platform/dm/dm_api.h"

namespace sw {

// A transaction open on one library: how many parts have joined it, and whether one of them ended
// without committing (the whole transaction then rolls back at its end).
struct OpenTransaction {
  int Depth = 0;
  bool RollbackOnly = false;
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
  std::set<QString> ClaimLibraries;  // upper-cased libraries where this computer wrote a claim not yet dropped
};

}  // namespace sw
