#include "core.h"

#include "webanalytic.h"

Core::Core(WebAnalytic *analytic, QObject *parent)
    : QObject(parent)
    , m_analytic(analytic)
{
}

void Core::receiveText(const QString &text)
{
    m_analytic->parseWebCommand(text);
}
