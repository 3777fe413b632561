#pragma once

#include <QStringList>

class GetInfoWindowRegistry;

// Opens the info windows of `paths` side by side from the top-left corner: one
// per path, and the summary of all of them when there are several.
void showGetInfoWindows(GetInfoWindowRegistry &registry, const QStringList &paths);
