#include "Fonts.h"

#include <QFont>
#include <QString>

namespace Fonts {

void pinDefaultFaces()
{
    const QString pinned = QString::fromLatin1(kPinnedFamily);
    QFont::insertSubstitution(QStringLiteral("宋体"), pinned);
    QFont::insertSubstitution(QStringLiteral("SimSun"), pinned);
    QFont::insertSubstitution(QStringLiteral("新宋体"), pinned);
    QFont::insertSubstitution(QStringLiteral("NSimSun"), pinned);
}

} // namespace Fonts
