#ifndef UPDATEMANIFEST_H
#define UPDATEMANIFEST_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The few facts about a package that its publisher signs: which version it
// is, under which name it was published, how large it is and its SHA-256.
// The signature covers these bytes and nothing else, so the INI keys around
// them can never speak for the package.
//
// The text is one line per field, in this order, each ending in "\n":
//
//     Pathmere-Update-Manifest: 1
//     Version: 1.2.0.0
//     File: Pathmere-1.2.0.0.zip
//     Size: 48213377
//     SHA-256: <64 lower-case hex digits>
//
// Exactly one spelling of each manifest is accepted (no spaces, no other
// order, no leading zeros), so that decode(encode(m)) == m and an accepted
// text re-encodes to the same bytes.
class UpdateManifest
{
public:
    QString version;
    QString fileName;
    qint64 size = 0;
    // The 32 raw bytes of the package's SHA-256.
    QByteArray sha256;

    QByteArray encode() const;
    // False (with the reason in why) for anything that is not one manifest.
    static bool decode(const QByteArray &text, UpdateManifest *manifest, QString *why);

    // Whether name can be a published package's file name: letters, digits,
    // ".", "_" and "-", not starting with ".", at most maxFileNameLength.
    static bool usableFileName(const QString &name);

    bool operator==(const UpdateManifest &other) const;

    // Nothing longer is a manifest (the real ones are about 170 bytes).
    static constexpr int maxTextSize = 1024;
    static constexpr int maxFileNameLength = 128;
    static constexpr int sha256Size = 32;
    // Largest package a manifest may describe.
    static constexpr qint64 maxPackageSize = 512LL * 1024 * 1024;
};

#endif // UPDATEMANIFEST_H
