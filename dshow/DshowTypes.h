// The DirectShow declarations every framework file needs, pulled in once so
// that include order never matters.
#pragma once

#include "platform/ComTypes.h"

#include <strmif.h>
#include <uuids.h>
#include <vfwmsgs.h>
#include <control.h>
#include <evcode.h>
