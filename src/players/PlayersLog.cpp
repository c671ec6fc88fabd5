#include "PlayersLog.h"

Q_LOGGING_CATEGORY(lcPlayers, "tessarin.players", QtWarningMsg)
