#pragma once

#include <QUrl>

#include <functional>

// Lets a test act between the moment an operation has found a free name and
// the moment it takes it, to stand in for another program racing it.
namespace FileOperations::testing {

using NameHook = std::function<void(const QUrl &candidate)>;
void setBeforeTakingName(NameHook hook);

} // namespace FileOperations::testing
