#ifndef UPDATEHARNESS_H
#define UPDATEHARNESS_H

#include "downloadmanager.h"
#include "updatecoordinator.h"
#include "usermessage.h"
#include "webanalytic.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QWidget>

// The update coordinator wired to its download manager as the main window
// wires it, with the message boxes and the web page's texts recorded.
class UpdateHarness
{
public:
    explicit UpdateHarness(const QByteArray &publicKey, bool answerYes = true)
        : coordinator(&window, &about, &web, publicKey)
    {
        // The coordinator hears the download manager and the page itself,
        // as it does in the program.
        QObject::connect(&coordinator, &UpdateCoordinator::quitRequested, &window, [this] { quitRequested = true; });
        QObject::connect(&web, &WebAnalytic::sendText, &window, [this](const QString &text) {
            webTexts << QJsonDocument::fromJson(text.toUtf8()).object();
        });
        UserMessage::setObserver([this](const QString &, const QString &text) { messages << text; });
        UserMessage::setQuestionAnswer(answerYes);
    }
    ~UpdateHarness() { UserMessage::setObserver(UserMessage::Observer()); }

    DownloadManager *manager() { return coordinator.downloadManager(); }

    QWidget window;
    QWidget about;
    WebAnalytic web;
    UpdateCoordinator coordinator;
    QStringList messages;
    QList<QJsonObject> webTexts;
    bool quitRequested = false;
};

#endif // UPDATEHARNESS_H
