#ifndef UPDATECOORDINATOR_H
#define UPDATECOORDINATOR_H

#include "packageinstaller.h"

#include <QByteArray>
#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QString>

class AboutDlg;
class DownloadManager;
class QWidget;
class UpdateCheckJob;
class WebAnalytic;

// The program's side of the software update: who asked for a check (each
// check an UpdateCheckJob), what the user is told and asked, and the install
// once a package is on disk. It hears the download manager and the page's
// version request itself; the window owns it, gives it the About dialog's
// request and ends the program on quitRequested.
//
// There is one update at a time. A check asked for while another runs joins
// it and gets its answer; one asked for while the user is being asked, or
// while the package is downloaded or installed, is answered from that offer
// and never voids it. Only what the user asked for answers with a box: a
// failed check of the day is logged and shown as a status line.
class UpdateCoordinator : public QObject
{
    Q_OBJECT

public:
    // publicKey: the key packages must be signed for (the program passes the
    // one it was built with). window and aboutDialog parent the message boxes.
    UpdateCoordinator(QWidget *window, QWidget *aboutDialog, WebAnalytic *web, const QByteArray &publicKey,
                      QObject *parent = nullptr);
    ~UpdateCoordinator() override;

    // Made at the first call: its form and its file fix-ups are nothing the
    // window's first frame needs.
    DownloadManager *downloadManager() const;
    // For a window that builds its About dialog later than this object.
    void setAboutDialog(QWidget *dialog) { aboutDialog = dialog; }
    // A hidden About dialog whose "Check update" and status line are this
    // object's, set as its about dialog; the caller owns it.
    AboutDlg *makeAboutDialog(double dpiScale);

    // Every way of showing the window except a "Show_Normal_UI" command;
    // the first showing runs the check of the day.
    void windowShown(bool firstShowing);
    void checkSWUpdate();
    void checkVersionFromWeb();

    // The answers of a check and what follows them, as the running check
    // delivers them.
    void getCurServerVersion(bool needDownload);
    void sendToWebIsNeedDownload(bool needDownload, const QString &version);
    void connectServerFail(int reason);
    void ready4Update();

    // True at the first call of a calendar day (remembered in setting.ini).
    static bool isFirstOpenToday();

    // Whether this build can update itself: it has a release key and an
    // update server (not the placeholder host, or one named in setting.ini).
    // Otherwise its updates come from the package manager and it never
    // checks.
    bool updatesItself() const;

    bool installRunning() const { return installWatcher.isRunning(); }
    // What the last check of the day left to say ("" when nothing).
    QString statusLine() const { return status; }

signals:
    // The new program runs: the window ends this one.
    void quitRequested();
    // The status line changed (the About window and the tray show it).
    void statusLineChanged(const QString &text);

private:
    Q_DISABLE_COPY(UpdateCoordinator)

    enum Asker { Day = 1, User = 2, Web = 4 };

    void request(Asker who);
    void checkFinished(UpdateCheckJob *done, int result);
    // A question, download or install is under way: nothing may void it.
    bool offerUnderWay() const;
    void installFinished();
    QWidget *askingParent() const;
    void setStatusLine(const QString &text);

    QPointer<QWidget> window;
    QPointer<QWidget> aboutDialog;
    WebAnalytic *const web;
    const QByteArray publicKey;
    mutable DownloadManager *manager = nullptr;
    // The check running now, which later askers join.
    UpdateCheckJob *check = nullptr;
    QFutureWatcher<PackageInstaller::Outcome> installWatcher;
    // What the user was asked about (and said Yes to), for the install.
    PackageVerifier::Offer offer;
    // Who asked for the running check (Asker bits).
    int askers = 0;
    // The user said Yes in this update: what goes wrong now is shown.
    bool userAgreed = false;
    bool questionOpen = false;
    QString status;
};

#endif // UPDATECOORDINATOR_H
