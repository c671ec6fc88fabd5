#pragma once

#include <QLoggingCategory>

// This layer's log: QT_LOGGING_RULES="tessarin.render.debug=true" switches its detail on in the
// field (warnings always show).
Q_DECLARE_LOGGING_CATEGORY(lcRender)
