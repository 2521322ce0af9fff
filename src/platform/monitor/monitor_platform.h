#pragma once
// Registered window messages and named shared memory, as the external monitor uses them.
#include <QString>

namespace sw {

class MonitorPlatform {
 public:
  virtual ~MonitorPlatform() = default;
};

}  // namespace sw
