#pragma once
#include <QString>

#include "platform/dm/dm_api.h"

namespace sw {

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
};

}  // namespace sw
