#include "ControlLog.h"

Q_LOGGING_CATEGORY(lcControl, "tessarin.control", QtWarningMsg)
