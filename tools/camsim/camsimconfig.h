#ifndef CAMSIMCONFIG_H
#define CAMSIMCONFIG_H

#include "simcamera.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// What camsim was asked to simulate, from its command line and an optional
// JSON file.
class CamsimConfig
{
public:
    QString interfaceName;   // empty: addresses are not managed
    bool quiet = false;      // no event per reply datagram
    bool printOnly = false;  // --print-config: show the cameras, open nothing
    QList<SimCamera> cameras;

    enum class Outcome { Run, Help, Error };
    // arguments include the program name, as QCoreApplication::arguments().
    Outcome parse(const QStringList &arguments, QString *error);

    static QString manual();
    QJsonObject toJson() const;   // what --print-config shows

private:
    bool readFile(const QString &path, QVariantMap *defaults, QList<QVariantMap> *cameras,
                  QVariantMap *fleet, QString *error);
    static bool parseSpec(const QString &spec, QVariantMap *out, QString *error);
};

#endif // CAMSIMCONFIG_H
