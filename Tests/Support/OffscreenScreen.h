#pragma once

#include <QSize>

namespace tw::test {

// Gives the offscreen platform one screen of `size` at the origin instead of
// its default, so window frames can be checked against a known screen. Call
// before the application object is made.
void useOffscreenScreen(QSize size);

} // namespace tw::test
