#include "AppWindowOpening.h"

namespace {
AppWindowOpening *registeredOpener = nullptr;
}

AppWindowOpening *AppWindowOpening::shared()
{
    return registeredOpener;
}

void AppWindowOpening::setShared(AppWindowOpening *opener)
{
    registeredOpener = opener;
}
