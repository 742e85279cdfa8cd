#pragma once

namespace tarnwick {

// False when the process runs in a window station nobody sees: a scheduled
// task run whether the user is logged on or not, or as the system account,
// or a service, or anything in session 0 from Vista on. True when that
// cannot be told.
bool WindowStationIsVisible();

}  // namespace tarnwick
