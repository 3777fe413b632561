#pragma once

#include "FileItem.h"

// The fixed places of the sidebar.
namespace WellKnownLocations {

// Home, then Desktop and Documents as the user's XDG user folders name them,
// then "/Applications", built anew on every call. A user folder is left out
// when there is none: not named, turned off (xdg-user-dirs points it at the
// home folder), or not an existing folder. "/Applications" is there only where
// that folder exists.
FileItemList places();

} // namespace WellKnownLocations
