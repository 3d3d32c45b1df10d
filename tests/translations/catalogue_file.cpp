#include "catalogue_file.h"

#include <QFile>
#include <QXmlStreamReader>

QList<Catalogue_message> read_catalogue(const QString& path, bool* ok)
{
    QList<Catalogue_message> messages;
    *ok = false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return messages;

    QXmlStreamReader xml(&file);
    QString context;
    Catalogue_message message;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto name = xml.name();
        if (name == u"context") {
            context.clear();
        } else if (name == u"name") {
            context = xml.readElementText();
        } else if (name == u"message") {
            message = Catalogue_message{context, {}, {}, true};
        } else if (name == u"source") {
            message.source = xml.readElementText();
        } else if (name == u"translation") {
            message.finished = xml.attributes().value("type").isEmpty();
            message.translation = xml.readElementText();
            messages.append(message);
        }
    }
    *ok = !xml.hasError();
    return messages;
}
