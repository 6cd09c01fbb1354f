#pragma once

// The ids are shared with the core, whose state table names the controls.
#include "app/core/Resource.h"
