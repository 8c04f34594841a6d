// The bridge writes channel messages itself, and they carry values a page
// chose (the id it sent, the texts): for whatever Qt's parser accepts, the
// text must be the one Qt's own writer gives.
#include "jsontextwriter.h"

#include <QJsonDocument>
#include <QString>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    const QString expected = QString::fromUtf8(doc.toJson(QJsonDocument::Compact));
    if (doc.isObject() && JsonTextWriter::compact(doc.object()) != expected)
        std::abort();
    if (doc.isArray() && JsonTextWriter::compact(doc.array()) != expected)
        std::abort();
    return 0;
}
