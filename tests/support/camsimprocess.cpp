#include "camsimprocess.h"

#include "testlan.h"

#include <QtTest>

CamsimProcess::CamsimProcess(QObject *parent)
    : JsonLinesProcess(parent)
{
    keepErrorOutput();
}

bool CamsimProcess::start(int cameraSide, const QStringList &arguments, int readyTimeoutMs)
{
    const QStringList namespaces = TestLan::cameraNamespaces();
    if (cameraSide < 0 || cameraSide >= namespaces.size()) {
        m_error = QStringLiteral("no camera namespace %1").arg(cameraSide);
        return false;
    }
    reset();
    QStringList args{QStringLiteral("netns"), QStringLiteral("exec"), namespaces.at(cameraSide),
                     TestLan::camsimPath(), QStringLiteral("--interface"), TestLan::cameraInterface()};
    args += arguments;
    process().start(QStringLiteral("ip"), args);
    if (!process().waitForStarted(5000)) {
        m_error = QStringLiteral("camsim did not start: %1").arg(process().errorString());
        return false;
    }
    const bool ready = QTest::qWaitFor([this] {
        return count(QStringLiteral("ready")) > 0 || count(QStringLiteral("error")) > 0 || !isRunning();
    }, readyTimeoutMs);
    if (!ready || count(QStringLiteral("ready")) == 0) {
        const QList<QJsonObject> errors = events(QStringLiteral("error"));
        m_error = QStringLiteral("camsim not ready: %1 %2")
                      .arg(errorOutput(), errors.isEmpty() ? QString()
                                                          : errors.first().value(QStringLiteral("message")).toString());
        stop();
        return false;
    }
    return true;
}

bool CamsimProcess::startCameras(int cameraSide, const QStringList &cameraSpecs, int readyTimeoutMs)
{
    QStringList arguments;
    for (const QString &spec : cameraSpecs)
        arguments << QStringLiteral("--camera") << spec;
    return start(cameraSide, arguments, readyTimeoutMs);
}
