#pragma once
// The context from folder building up: the security services' context plus the folder state.
#include "folders/folder_state.h"
#include "security/security_context.h"

namespace sw {

class FolderContext : public SecurityContext {
 public:
  FolderState folders;
};

}  // namespace sw
