#pragma once
#include <QtGlobal>

namespace sw {

// State of the external-monitor client.
struct MonitorState {
};

}  // namespace sw
