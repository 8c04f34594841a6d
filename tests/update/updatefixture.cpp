#include "updatefixture.h"

#include "updatemanifest.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>

#include <sodium.h>
#include <sys/stat.h>

const QString UpdateFixture::descriptionPath = QStringLiteral("/Skyrelay/update.cfg");

UpdateFixture::UpdateFixture()
{
    if (!dir.isValid() || sodium_init() < 0 || !server.listen())
        return;
    qputenv("HOME", dir.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", (dir.path() + QStringLiteral("/.local/share")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (dir.path() + QStringLiteral("/.config")).toLocal8Bit());
    publicKey.resize(crypto_sign_PUBLICKEYBYTES);
    secretKey.resize(crypto_sign_SECRETKEYBYTES);
    crypto_sign_keypair(reinterpret_cast<unsigned char *>(publicKey.data()),
                        reinterpret_cast<unsigned char *>(secretKey.data()));
    resetDataFolder();
    valid = true;
}

QString UpdateFixture::dataFolder() const
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Pathmere/");
}

void UpdateFixture::resetDataFolder()
{
    QDir(dataFolder()).removeRecursively();
    QDir().mkpath(dataFolder());
    QSettings settings(dataFolder() + QStringLiteral("setting.ini"), QSettings::IniFormat);
    settings.setValue(QStringLiteral("Update/DescriptionUrl"), server.url(descriptionPath));
}

QByteArray UpdateFixture::makePackage(const QJsonArray &entries) const
{
    const QString spec = dir.filePath(QStringLiteral("spec.json"));
    const QString out = dir.filePath(QStringLiteral("package.zip"));
    QFile specFile(spec);
    if (!specFile.open(QIODevice::WriteOnly))
        return QByteArray();
    specFile.write(QJsonDocument(entries).toJson());
    specFile.close();
    QFile::remove(out);
    const int rc = QProcess::execute(QStringLiteral("python3"),
                                     {QStringLiteral(PATHMERE_MAKEPACKAGE_SCRIPT), out, spec});
    QFile zip(out);
    if (rc != 0 || !zip.open(QIODevice::ReadOnly))
        return QByteArray();
    return zip.readAll();
}

QByteArray UpdateFixture::sign(const QByteArray &data) const
{
    QByteArray signature(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char *>(signature.data()), nullptr,
                         reinterpret_cast<const unsigned char *>(data.constData()), data.size(),
                         reinterpret_cast<const unsigned char *>(secretKey.constData()));
    return signature.toBase64();
}

QByteArray UpdateFixture::signWithStrangerKey(const QByteArray &data)
{
    unsigned char pk[crypto_sign_PUBLICKEYBYTES];
    unsigned char sk[crypto_sign_SECRETKEYBYTES];
    crypto_sign_keypair(pk, sk);
    QByteArray signature(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char *>(signature.data()), nullptr,
                         reinterpret_cast<const unsigned char *>(data.constData()), data.size(), sk);
    return signature.toBase64();
}

QByteArray UpdateFixture::manifest(const QString &version, const QString &packagePath, const QByteArray &package)
{
    UpdateManifest m;
    m.version = version;
    m.fileName = packagePath.section(QLatin1Char('/'), -1);
    m.size = package.size();
    m.sha256 = QCryptographicHash::hash(package, QCryptographicHash::Sha256);
    return m.encode();
}

QByteArray UpdateFixture::description(const QString &version, const QString &packagePath, qint64 size,
                                      const QByteArray &signature, const QByteArray &manifest,
                                      const QByteArray &legacySignature) const
{
    QByteArray text = "[OTA]\nVersion=" + version.toUtf8() + "\nReleaseDate=2026-12-01\nPath="
        + server.url(packagePath).toUtf8() + "\nFileSize=" + QByteArray::number(size) + "\n";
    if (!legacySignature.isEmpty())
        text += "Signature=" + legacySignature + "\n";
    if (!manifest.isEmpty())
        text += "Manifest=" + manifest.toBase64() + "\n";
    return text + "ManifestSignature=" + signature + "\n";
}

void UpdateFixture::publish(const QString &version, const QString &packagePath, const QByteArray &package,
                            qint64 size, const QByteArray &signature, UpdateServer::Mode mode,
                            const QByteArray &manifestText)
{
    const QByteArray signedText = manifestText.isNull() ? manifest(version, packagePath, package) : manifestText;
    server.serve(packagePath, package, mode);
    server.serve(descriptionPath, description(version, packagePath, size < 0 ? package.size() : size,
                                              signature.isNull() ? sign(signedText) : signature, signedText,
                                              sign(package)));
}

int UpdateFixture::mode(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

void UpdateFixture::pointAtClosedPort()
{
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const quint16 port = closed.serverPort();
    closed.close();
    QSettings(dataFolder() + QStringLiteral("setting.ini"), QSettings::IniFormat)
        .setValue(QStringLiteral("Update/DescriptionUrl"), QStringLiteral("http://127.0.0.1:%1/Skyrelay/update.cfg").arg(port));
}
