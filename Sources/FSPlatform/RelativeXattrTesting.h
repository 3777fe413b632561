#pragma once

#include <QByteArray>

#include <functional>

// Lets a test stand in for kernels and sandboxes that refuse getxattrat(2).
// Set only while no listing runs: the hook is read from worker threads.
namespace RelativeXattr::testing {

// Returns the errno a read of `path` fails with, or 0 to make the real call;
// `isRelativeRead` tells getxattrat from the plain getxattr.
using FailureHook = std::function<int(const QByteArray &path, bool isRelativeRead)>;
void setFailureHook(FailureHook hook);

// False once reads relative to an open folder were given up for good.
bool triesRelativeReads();

// No hook, and relative calls tried again.
void reset();

} // namespace RelativeXattr::testing
