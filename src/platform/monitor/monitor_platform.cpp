#include "platform/monitor/monitor_platform.h"
