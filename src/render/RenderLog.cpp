#include "RenderLog.h"

Q_LOGGING_CATEGORY(lcRender, "tessarin.render", QtWarningMsg)
