#ifndef PACKAGEINSTALLER_H
#define PACKAGEINSTALLER_H

#include "packageverifier.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Turns a downloaded package into a program ready to start: checks its
// signature, unpacks it into a fresh extraction folder and checks that the
// program is there. Runs on a worker thread (no GUI, no shared state), so
// the window stays responsive while a large package unpacks.
class PackageInstaller
{
public:
    struct Outcome
    {
        enum Result {
            Ready,           // executable is unpacked and may be started
            Missing,         // the package file does not exist
            NotVerified,     // no good signature, or not the signed package
            UnpackFailed,    // the archive is unreadable, unsafe or too large
            NoExecutable     // unpacked, but without an executable program
        };
        Result result = UnpackFailed;
        QString executable;
        // Why it failed, in words for the log and the user.
        QString detail;
    };

    // floorVersion: the signed version must be newer than this.
    static Outcome install(const QString &packagePath, const PackageVerifier::Offer &offer,
                           const QByteArray &publicKey, const QString &floorVersion, const QString &targetFolder);

    // Removes targetFolder and everything in it, then unpacks zipPath into
    // it. The whole archive is checked first: a package with one unsafe or
    // unreadable entry writes nothing. False (with error) on any failure.
    static bool unzipPackage(const QString &zipPath, const QString &targetFolder, QString *error);

    // Removes folder with everything in it (symbolic links themselves, never
    // what they point to); true when it no longer exists.
    static bool removeFolderTree(const QString &folder);

    static constexpr int maxEntries = 10000;
    static constexpr qint64 maxTotalUncompressed = 1024LL * 1024 * 1024;
    static constexpr int readBufferSize = 16384;

private:
    // Writes the archive's current entry (already checked) to its path below
    // targetFolder; budget is what the package may still write in total.
    static bool extractCurrentEntry(void *archive, const QString &relativePath, uint mode,
                                    const QString &targetFolder, qint64 *budget, QString *error);

    PackageInstaller() = delete;
};

#endif // PACKAGEINSTALLER_H
