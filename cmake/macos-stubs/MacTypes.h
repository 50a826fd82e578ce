// Stand-in for the macOS header of this name: only the types the Max SDK
// headers name, so the glue can be syntax-checked with the macOS branch of
// the SDK on a machine without Apple's SDK (scripts/check-max-glue).
#pragma once
#define __MACTYPES__
typedef unsigned char Boolean;
typedef unsigned char UInt8;
typedef signed char SInt8;
typedef unsigned short UInt16;
typedef signed short SInt16;
typedef unsigned int UInt32;
typedef signed int SInt32;
typedef signed long long SInt64;
typedef unsigned long long UInt64;
typedef float Float32;
typedef double Float64;
typedef SInt32 OSStatus;
typedef SInt16 OSErr;
typedef UInt32 FourCharCode;
typedef FourCharCode OSType;
typedef unsigned char Str255[256];
typedef unsigned char* StringPtr;
typedef char* Ptr;
typedef Ptr* Handle;
