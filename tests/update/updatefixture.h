#ifndef UPDATEFIXTURE_H
#define UPDATEFIXTURE_H

#include "updateserver.h"

#include <QByteArray>
#include <QJsonArray>
#include <QString>
#include <QTemporaryDir>

// What every update suite needs: HOME and the XDG folders in a temporary
// folder, a loopback update server that setting.ini points the program at,
// an Ed25519 key pair made for this run, and real zip packages.
class UpdateFixture
{
public:
    UpdateFixture();
    bool isValid() const { return valid; }

    QString home() const { return dir.path(); }
    // The update data folder as the program computes it (ends with "/").
    QString dataFolder() const;
    // Empties the data folder and points setting.ini at the server.
    void resetDataFolder();

    UpdateServer server;
    QByteArray publicKey;

    // A zip built by python3's zipfile from entries (see makepackage.py);
    // empty on failure.
    QByteArray makePackage(const QJsonArray &entries) const;
    // Base64 of the detached signature of data with this run's key, or with
    // a key nobody trusts.
    QByteArray sign(const QByteArray &data) const;
    static QByteArray signWithStrangerKey(const QByteArray &data);

    // The manifest text a publisher signs for package, published at
    // packagePath as version.
    static QByteArray manifest(const QString &version, const QString &packagePath, const QByteArray &package);

    // The description text for one package served at packagePath: signature
    // is the manifest's ("ManifestSignature"), manifest its text (none when
    // empty), legacySignature the package's own ("Signature", which older
    // programs check; none when empty).
    QByteArray description(const QString &version, const QString &packagePath, qint64 size,
                           const QByteArray &signature, const QByteArray &manifest = QByteArray(),
                           const QByteArray &legacySignature = QByteArray()) const;
    // Serves package at packagePath and its description, as a publisher
    // does; the description names size (the real size unless given),
    // manifestText (the package's own unless given) and signature (a good
    // one of the manifest unless given).
    void publish(const QString &version, const QString &packagePath, const QByteArray &package,
                 qint64 size = -1, const QByteArray &signature = QByteArray(),
                 UpdateServer::Mode mode = UpdateServer::Whole, const QByteArray &manifestText = QByteArray());

    // The permission bits of path (without following a link), -1 when
    // there is nothing.
    static int mode(const QString &path);
    // Points setting.ini at a loopback port nobody listens on: every check
    // fails at once.
    void pointAtClosedPort();

    static const QString descriptionPath;

private:
    QTemporaryDir dir;
    QByteArray secretKey;
    bool valid = false;
};

#endif // UPDATEFIXTURE_H
