// Forced into the macOS syntax check (scripts/check-max-glue), which uses
// this machine's POSIX headers: the Darwin names they lack.
#pragma once
#define SO_NOSIGPIPE 0x1022
