#ifndef UPDATEITEM_H
#define UPDATEITEM_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// One downloadable component of the update description (one INI section).
struct UpdateItem
{
    enum Status {
        NeedsDownload = 0,   // a download is needed but not queued
        UpToDate = 4,        // up to date, or queued for download
        Downloaded = 8       // downloaded in this run; becomes the local record
    };

    QString name;
    QString version;
    QString releaseDate;
    QString fileName;
    QString path;
    qint64 fileSize = 0;
    // Base64 of the signed manifest ("Manifest") and of its detached
    // Ed25519 signature ("ManifestSignature").
    QByteArray manifest;
    QByteArray manifestSignature;
    int status = NeedsDownload;
};

#endif // UPDATEITEM_H
