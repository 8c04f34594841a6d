#include "camsimsides.h"

namespace {

bool reported(const CamsimProcess *camsim, bool started)
{
    if (!started)
        qWarning("%s", qPrintable(camsim->errorText()));
    return started;
}

} // namespace

CamsimSides::CamsimSides() = default;

CamsimSides::~CamsimSides() = default;

CamsimProcess *CamsimSides::fresh(int index)
{
    if (index < 0 || index >= MaxSides) {
        qWarning("no camera side %d", index);
        return nullptr;
    }
    sides[size_t(index)] = std::make_unique<CamsimProcess>();
    return sides[size_t(index)].get();
}

bool CamsimSides::start(int index, const QStringList &arguments)
{
    CamsimProcess *const camsim = fresh(index);
    return camsim && reported(camsim, camsim->start(index, arguments));
}

bool CamsimSides::startCameras(int index, const QStringList &cameras)
{
    CamsimProcess *const camsim = fresh(index);
    return camsim && reported(camsim, camsim->startCameras(index, cameras));
}

CamsimProcess *CamsimSides::operator[](int index) const
{
    return index >= 0 && index < MaxSides ? sides[size_t(index)].get() : nullptr;
}

int CamsimSides::count(const QString &name) const
{
    int total = 0;
    for (const std::unique_ptr<CamsimProcess> &camsim : sides)
        total += camsim ? camsim->count(name) : 0;
    return total;
}

void CamsimSides::stop()
{
    for (std::unique_ptr<CamsimProcess> &camsim : sides)
        camsim.reset();
}
