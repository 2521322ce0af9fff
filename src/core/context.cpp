#include "core/context.h"

#include <cstdlib>

#include "platform/monitor/monitor_platform.h"
#include "platform/os/os.h"
#include "platform/settings/settings_store.h"

namespace sw {

Context::Context()
    : ui(std::make_unique<Ui>()),
      settings(std::make_unique<SettingsStore>()),
      os(std::make_unique<Os>()),
      monitorPlatform(std::make_unique<MonitorPlatform>()) {}

Context::~Context() = default;

void Context::EndProgram() {
  std::exit(0);
}

}  // namespace sw
