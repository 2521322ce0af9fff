#pragma once
// The context of the processing run: the folder subsystem's context plus the run state, and
// the main-window operations the run calls (the window overrides them).
#include "folders/folder_context.h"
#include "run/run_state.h"

namespace sw {

class RunContext : public FolderContext {
 public:
  RunState runState;

  // Loads the rules of a library node whose only child is the "[]" placeholder.
  virtual void LoadRulesOfLibraryNode(int libraryNode) { (void)libraryNode; }
  // Ends the program in order when no task runs, no stop is requested and no loop delay waits.
  virtual void EndProgramWhenIdle() {}
};

}  // namespace sw
