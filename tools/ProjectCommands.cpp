#include "ProjectCommands.h"

#include "model/CAct.h"
#include "model/ProjectJson.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QTextStream>

int dumpProject(const QString& path, QTextStream& out, QTextStream& err)
{
    CAct area;
    QString error;
    if (!area.LoadProject(path, &error)) {
        err << error << Qt::endl;
        return 1;
    }
    out << QString::fromUtf8(QJsonDocument(projectToJson(area)).toJson(QJsonDocument::Indented));
    out.flush();
    return 0;
}

int makeProject(const QString& jsonPath, const QString& outPath, QTextStream& err)
{
    QFile in(jsonPath);
    if (!in.open(QIODevice::ReadOnly)) {
        err << jsonPath << ": " << in.errorString() << Qt::endl;
        return 1;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(in.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        err << jsonPath << ": not valid JSON at byte " << parseError.offset << ": "
            << parseError.errorString() << Qt::endl;
        return 1;
    }
    if (!document.isObject()) {
        err << jsonPath
            << ": expected a JSON object with \"area\", \"caption\", \"items\", \"sections\""
            << Qt::endl;
        return 1;
    }
    CAct area;
    QString error;
    if (!projectFromJson(document.object(), area, &error)) {
        err << jsonPath << ": " << error << Qt::endl;
        return 1;
    }
    if (!area.SaveProject(outPath, &error)) {
        err << error << Qt::endl;
        return 1;
    }
    return 0;
}
