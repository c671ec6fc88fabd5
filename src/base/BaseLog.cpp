#include "BaseLog.h"

Q_LOGGING_CATEGORY(lcBase, "tessarin.base", QtWarningMsg)
