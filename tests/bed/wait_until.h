// The tests wait for conditions the way the menu prober does: polled with a deadline.
#pragma once

#include "menu-probe/wait_until.h"

namespace bed {
using menu_probe::WaitUntil;
}  // namespace bed
