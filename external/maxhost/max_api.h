// The Max API as the Max SDK declares it (third_party/max-sdk-base, or the
// SDK that OMBER_MAX_SDK_DIR names). The headless host library implements
// these declarations itself (max_api.cpp for MaxAPI, msp_api.cpp for
// MaxAudio), compiled against the very same headers, so a type that differs
// from Max's fails to compile instead of being cast into agreement.
#pragma once

#include "ext.h"
#include "ext_obex.h"
#include "z_dsp.h"
