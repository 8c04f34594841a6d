#ifndef UPDATECOORDINATOR_H
#define UPDATECOORDINATOR_H

#include "packageinstaller.h"

#include <QByteArray>
#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QString>

class DownloadManager;
class QWidget;
class WebAnalytic;

// The window's side of the software update: who asked for a check, what the
// user is told and asked, and the install once a package is on disk. The
// window owns one, forwards its update slots here and ends the program on
// quitRequested.
class UpdateCoordinator : public QObject
{
    Q_OBJECT

public:
    // publicKey: the key packages must be signed for (the program passes the
    // one it was built with). window and aboutDialog parent the message boxes.
    UpdateCoordinator(QWidget *window, QWidget *aboutDialog, WebAnalytic *web, const QByteArray &publicKey,
                      QObject *parent = nullptr);
    ~UpdateCoordinator() override;

    DownloadManager *downloadManager() const { return manager; }
    // For a window that builds its About dialog later than this object.
    void setAboutDialog(QWidget *dialog) { aboutDialog = dialog; }

    // Every way of showing the window except a "Show_Normal_UI" command;
    // the first showing runs the check of the day.
    void windowShown(bool firstShowing);
    void checkSWUpdate();
    void checkVersionFromWeb();

    void getCurServerVersion(bool needDownload);
    void sendToWebIsNeedDownload(bool needDownload, const QString &version);
    void connectServerFail(int reason);
    void ready4Update();

    // True at the first call of a calendar day (remembered in setting.ini).
    static bool isFirstOpenToday();

    bool installRunning() const { return installWatcher.isRunning(); }

signals:
    // The new program runs: the window ends this one.
    void quitRequested();

private:
    Q_DISABLE_COPY(UpdateCoordinator)

    void installFinished();
    QWidget *askingParent() const;

    QPointer<QWidget> window;
    QPointer<QWidget> aboutDialog;
    WebAnalytic *const web;
    const QByteArray publicKey;
    DownloadManager *const manager;
    QFutureWatcher<PackageInstaller::Outcome> installWatcher;
    QString packagePath;
    QString packageFileName;
    QByteArray packageSignature;
    bool userAsked = false;
    bool webAsked = false;
};

#endif // UPDATECOORDINATOR_H
