// A file of the live layer that reaches up into the engine: the layer check
// must refuse it.
#include "core/base/atom.h"
#include "core/live/capture.h"
#include "core/engine/engine.h"
