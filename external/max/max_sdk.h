// The Max API for the omber~ glue: the real SDK when the build was pointed
// at one (OMBER_MAX_SDK_DIR), otherwise our headless stand-in.
#pragma once

#ifdef OMBER_WITH_MAX_SDK
#include "ext.h"
#include "ext_obex.h"
#include "z_dsp.h"
#else
#include "external/maxhost/max_api.h"
#endif
