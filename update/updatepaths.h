#ifndef UPDATEPATHS_H
#define UPDATEPATHS_H

#include <QByteArray>
#include <QString>
#include <QUrl>

// Where the update data lives and where the description comes from.
class UpdatePaths
{
public:
    // The generic data location + "/Pathmere/" (ends with "/"), created
    // when missing.
    static QString dataFolder();
    // dataFolder() + "tmpOTAUpdateFile/": what a package unpacks into.
    static QString extractionFolder();
    // The program a package must bring, in the extraction folder.
    static QString executableName();

    // "http://" + the configured host + "/Skyrelay/update.cfg", unless
    // "Update/DescriptionUrl" in "setting.ini" names another http(s) URL
    // (private mirrors, demos, tests).
    static QUrl descriptionUrl();
    static QUrl defaultDescriptionUrl();

    // The public key packages are signed for, as this build was configured;
    // empty when none was (such a build installs nothing).
    static QByteArray builtInPublicKey();

    static QString settingsFile();

private:
    UpdatePaths() = delete;
};

#endif // UPDATEPATHS_H
