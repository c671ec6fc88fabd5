#include "UiLog.h"

Q_LOGGING_CATEGORY(lcUi, "tessarin.ui", QtWarningMsg)
