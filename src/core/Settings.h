#pragma once
// The settings interface and keys live in the engine now; this name stays
// for the callers not yet moved.
#include "engine/Settings.h"
