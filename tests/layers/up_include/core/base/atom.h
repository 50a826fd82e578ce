// Included from below by the live layer: allowed.
#pragma once
