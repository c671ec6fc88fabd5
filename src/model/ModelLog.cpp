#include "ModelLog.h"

Q_LOGGING_CATEGORY(lcModel, "tessarin.model", QtWarningMsg)
