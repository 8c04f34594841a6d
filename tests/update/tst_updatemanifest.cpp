// The signed manifest without sockets: its one spelling, what it refuses, and
// what the verifier makes of a manifest, its signature and a package file.

#include "packageverifier.h"
#include "updatemanifest.h"
#include "updatepaths.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sodium.h>

namespace {
const QByteArray good = "Pathmere-Update-Manifest: 1\nVersion: 1.2.0.0\nFile: Pathmere-1.2.0.0.zip\nSize: 6\n"
                        "SHA-256: 9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08\n";
} // namespace

class TestUpdateManifest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QByteArray publicKey;
    QByteArray secretKey;

    QByteArray sign(const QByteArray &text, const QByteArray &sk) const
    {
        QByteArray signature(crypto_sign_BYTES, '\0');
        crypto_sign_detached(reinterpret_cast<unsigned char *>(signature.data()), nullptr,
                             reinterpret_cast<const unsigned char *>(text.constData()), quint64(text.size()),
                             reinterpret_cast<const unsigned char *>(sk.constData()));
        return signature.toBase64();
    }

    UpdateManifest manifestOf(const QByteArray &package, const QString &version = QStringLiteral("1.2.0.0")) const
    {
        UpdateManifest m;
        m.version = version;
        m.fileName = QStringLiteral("Pathmere-1.2.0.0.zip");
        m.size = package.size();
        m.sha256 = QCryptographicHash::hash(package, QCryptographicHash::Sha256);
        return m;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QVERIFY(sodium_init() >= 0);
        publicKey.resize(crypto_sign_PUBLICKEYBYTES);
        secretKey.resize(crypto_sign_SECRETKEYBYTES);
        crypto_sign_keypair(reinterpret_cast<unsigned char *>(publicKey.data()),
                            reinterpret_cast<unsigned char *>(secretKey.data()));
    }

    void oneSpelling()
    {
        UpdateManifest m;
        QString why;
        QVERIFY2(UpdateManifest::decode(good, &m, &why), qPrintable(why));
        QCOMPARE(m.version, QStringLiteral("1.2.0.0"));
        QCOMPARE(m.fileName, QStringLiteral("Pathmere-1.2.0.0.zip"));
        QCOMPARE(m.size, qint64(6));
        QCOMPARE(m.sha256, QByteArray::fromHex("9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08"));
        QCOMPARE(m.encode(), good);
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("text");
        const auto swap = [](const char *from, const char *to) { return QByteArray(good).replace(from, to); };
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("no last line end") << good.left(good.size() - 1);
        QTest::newRow("CR LF") << QByteArray(good).replace("\n", "\r\n");
        QTest::newRow("other format") << swap("Manifest: 1", "Manifest: 2");
        QTest::newRow("lines swapped") << swap("Version: 1.2.0.0\nFile: Pathmere-1.2.0.0.zip",
                                               "File: Pathmere-1.2.0.0.zip\nVersion: 1.2.0.0");
        QTest::newRow("extra line") << good + "Path: http://x/\n";
        QTest::newRow("space before value") << swap("Version: ", "Version:  ");
        QTest::newRow("version with letters") << swap("1.2.0.0", "1.2.0.0-beta");
        QTest::newRow("version empty part") << swap("1.2.0.0", "1..0");
        QTest::newRow("file name with slash") << swap("Pathmere-1.2.0.0.zip", "../setting.ini");
        QTest::newRow("file name hidden") << swap("Pathmere-1.2.0.0.zip", ".setting.ini");
        QTest::newRow("file name empty") << swap("File: Pathmere-1.2.0.0.zip", "File: ");
        QTest::newRow("file name non-ASCII") << swap("Pathmere-1", "Pathm\xc3\xa9re-1");
        QTest::newRow("file name cut by NUL") << QByteArray(good).replace("File: Pathmere", QByteArray("File: P\0athmere", 16));
        QTest::newRow("version cut by NUL") << QByteArray(good).replace("Version: 1.2.0.0", QByteArray("Version: 1.2\0.0.0", 18));
        QTest::newRow("size zero") << swap("Size: 6", "Size: 0");
        QTest::newRow("size leading zero") << swap("Size: 6", "Size: 06");
        QTest::newRow("size negative") << swap("Size: 6", "Size: -6");
        QTest::newRow("size beyond the limit") << swap("Size: 6", "Size: 536870913");
        QTest::newRow("size beyond 64 bits") << swap("Size: 6", "Size: 99999999999999999999");
        QTest::newRow("hash upper case") << swap("9f86d0", "9F86D0");
        QTest::newRow("hash short") << swap("0a08\n", "0a0\n");
        QTest::newRow("larger than the limit") << good + QByteArray(UpdateManifest::maxTextSize, 'x');
    }
    void refused()
    {
        QFETCH(QByteArray, text);
        UpdateManifest m;
        m.version = QStringLiteral("untouched");
        QString why;
        QVERIFY(!UpdateManifest::decode(text, &m, &why));
        QVERIFY(!why.isEmpty());
        QCOMPARE(m.version, QStringLiteral("untouched"));
    }

    void largestAcceptedSize()
    {
        QByteArray text = good;
        text.replace("Size: 6", "Size: " + QByteArray::number(UpdateManifest::maxPackageSize));
        UpdateManifest m;
        QString why;
        QVERIFY2(UpdateManifest::decode(text, &m, &why), qPrintable(why));
        QCOMPARE(m.size, UpdateManifest::maxPackageSize);
    }

    // What the verifier makes of the offer and the file on disk.
    void verify_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("why");
        QTest::newRow("good") << "good" << "";
        QTest::newRow("stranger's key") << "stranger" << "the signature does not match the package";
        QTest::newRow("signature of the package, not the manifest") << "legacy" << "the signature does not match the package";
        QTest::newRow("no manifest") << "nomanifest" << "the description carries no signed manifest";
        QTest::newRow("no signature") << "nosignature" << "the description carries no signature";
        QTest::newRow("manifest not Base64") << "garbled" << "the manifest is not Base64";
        QTest::newRow("offered version is not the signed one") << "otherversion" << "the signed version 1.2.0.0 is not the offered 9.9.0.0";
        QTest::newRow("offered name is not the signed one") << "othername" << "the signed file name Pathmere-1.2.0.0.zip is not the offered setting.ini";
        QTest::newRow("signed version is the running one") << "running" << "the signed version 1.1.1010.0 is not newer than 1.1.1010.0";
        QTest::newRow("signed version below the last installed") << "floor" << "the signed version 1.2.0.0 is not newer than 1.3";
        QTest::newRow("package one byte longer") << "longer" << "the package has 7 bytes, the signed manifest 6";
        QTest::newRow("package of the signed size, other bytes") << "otherbytes" << "the package does not match its signed manifest";
        QTest::newRow("no key in this build") << "nokey" << "this build has no valid update key";
    }
    void verify()
    {
        QFETCH(QString, kind);
        QFETCH(QString, why);
        const QByteArray package = "test\n\n";
        const QString version = kind == QLatin1String("running") ? QStringLiteral("1.1.1010.0") : QStringLiteral("1.2.0.0");
        const QByteArray text = manifestOf(package, version).encode();
        PackageVerifier::Offer offer{version, QStringLiteral("Pathmere-1.2.0.0.zip"), text.toBase64(), sign(text, secretKey)};
        QByteArray onDisk = package;
        QString floor = QStringLiteral("1.1.1010.0");
        QByteArray key = publicKey;
        if (kind == QLatin1String("stranger")) {
            QByteArray pk(crypto_sign_PUBLICKEYBYTES, '\0'), sk(crypto_sign_SECRETKEYBYTES, '\0');
            crypto_sign_keypair(reinterpret_cast<unsigned char *>(pk.data()), reinterpret_cast<unsigned char *>(sk.data()));
            offer.signature = sign(text, sk);
        } else if (kind == QLatin1String("legacy")) {
            offer.signature = sign(package, secretKey);
        } else if (kind == QLatin1String("nomanifest")) {
            offer.manifest.clear();
        } else if (kind == QLatin1String("nosignature")) {
            offer.signature.clear();
        } else if (kind == QLatin1String("garbled")) {
            offer.manifest = "not*base64";
        } else if (kind == QLatin1String("otherversion")) {
            offer.version = QStringLiteral("9.9.0.0");
        } else if (kind == QLatin1String("othername")) {
            offer.fileName = QStringLiteral("setting.ini");
        } else if (kind == QLatin1String("floor")) {
            floor = QStringLiteral("1.3");
        } else if (kind == QLatin1String("longer")) {
            onDisk += 'x';
        } else if (kind == QLatin1String("otherbytes")) {
            onDisk = "TEST\n\n";
        } else if (kind == QLatin1String("nokey")) {
            key.clear();
        }
        const QString path = dir.filePath(QStringLiteral("package.zip"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(onDisk);
        file.close();

        QString reason;
        const bool verified = PackageVerifier(key, floor).verify(path, offer, &reason);
        QCOMPARE(verified, why.isEmpty());
        QCOMPARE(reason, why);
    }

    void placeholderHosts_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("placeholder");
        QTest::newRow("the build's default") << "updates.example.com" << true;
        QTest::newRow("example.org itself") << "example.org" << true;
        QTest::newRow("upper case, trailing dot") << "Updates.Example.NET." << true;
        QTest::newRow(".test") << "mirror.test" << true;
        QTest::newRow(".invalid") << "nothing.invalid" << true;
        QTest::newRow("empty") << "" << true;
        QTest::newRow("a real name") << "updates.pathmere.org" << false;
        QTest::newRow("example inside a real name") << "example.com.mirror.net" << false;
        QTest::newRow("lookalike") << "myexample.com" << false;
        QTest::newRow("address") << "192.0.2.10" << false;
    }
    void placeholderHosts()
    {
        QFETCH(QString, host);
        QFETCH(bool, placeholder);
        QCOMPARE(UpdatePaths::isPlaceholderHost(host), placeholder);
    }
};

QTEST_GUILESS_MAIN(TestUpdateManifest)
#include "tst_updatemanifest.moc"
