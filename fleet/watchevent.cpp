#include "watchevent.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

void putDevice(QJsonObject *object, const DeviceRecord &device)
{
    object->insert(QStringLiteral("mac"), device.mac);
    object->insert(QStringLiteral("model"), device.model);
    object->insert(QStringLiteral("name"), device.name);
    object->insert(QStringLiteral("ip"), device.ip);
    object->insert(QStringLiteral("fwVersion"), device.fwVersion);
    object->insert(QStringLiteral("dhcp"), device.dhcp);
}

} // namespace

QString WatchEvent::kindText(Kind kind)
{
    switch (kind) {
    case Kind::Appeared:
        return QStringLiteral("appeared");
    case Kind::Disappeared:
        return QStringLiteral("disappeared");
    case Kind::Moved:
        return QStringLiteral("moved");
    case Kind::Changed:
        return QStringLiteral("changed");
    case Kind::Conflict:
        break;
    }
    return QStringLiteral("conflict");
}

QByteArray WatchEvent::jsonLine(const QDateTime &time) const
{
    QJsonObject object;
    object.insert(QStringLiteral("event"), kindText(kind));
    object.insert(QStringLiteral("time"), time.toUTC().toString(Qt::ISODateWithMs));
    if (kind == Kind::Conflict) {
        object.insert(QStringLiteral("ip"), address);
        QJsonArray devices;
        for (const DeviceRecord &holder : holders) {
            QJsonObject one;
            putDevice(&one, holder);
            devices.append(one);
        }
        object.insert(QStringLiteral("devices"), devices);
    } else {
        putDevice(&object, device);
    }
    if (kind == Kind::Moved) {
        object.insert(QStringLiteral("from"), fromIp);
        object.insert(QStringLiteral("to"), device.ip);
    }
    if (kind == Kind::Changed) {
        QJsonObject fields;
        for (const Change &change : changes)
            fields.insert(change.field, QJsonObject{{QStringLiteral("from"), change.from}, {QStringLiteral("to"), change.to}});
        object.insert(QStringLiteral("changes"), fields);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}
