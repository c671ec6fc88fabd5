#include "CanvasLog.h"

Q_LOGGING_CATEGORY(lcCanvas, "tessarin.canvas", QtWarningMsg)
