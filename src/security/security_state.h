#pragma once
// State kept by the security, metadata and workspace services.

namespace sw {

struct SecurityState {
};

}  // namespace sw
