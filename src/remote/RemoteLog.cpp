#include "RemoteLog.h"

Q_LOGGING_CATEGORY(lcRemote, "tessarin.remote", QtWarningMsg)
