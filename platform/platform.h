#pragma once

// The platform services the logic calls: files, clock, text, restart.
#include "clock.h"
#include "date_time.h"
#include "event_pump.h"
#include "files.h"
#include "journal.h"
#include "notifier.h"
#include "process.h"
#include "restart.h"
#include "services.h"
#include "text.h"
