// The Max API for the omber~ glue: the real SDK headers, always. Without Max
// the headless host (external/maxhost) implements the same declarations.
#pragma once

#include "ext.h"
#include "ext_obex.h"
#include "z_dsp.h"
