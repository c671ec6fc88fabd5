#pragma once

#include <QByteArray>
#include <QString>

// Files sent to the remote API: names made safe, free names in the media folder, and the file
// part of a multipart form.
namespace Uploads {

// The base name of what a client called its file: no folders, no control characters, not
// hidden; empty when nothing usable is left ("../../x.bmp" is "x.bmp").
QString safeBaseName(const QString& name);
// Whether AddFile plays a file of this name.
bool playable(const QString& name);
// A path in `folder` for `name` that does not exist yet: the name itself, else "name-2.ext", ...
QString freePath(const QString& folder, const QString& name);
// The first part of a multipart/form-data body that carries a file name.
bool multipartFile(const QByteArray& body, const QByteArray& contentType, QString* name,
                   QByteArray* bytes);

} // namespace Uploads
