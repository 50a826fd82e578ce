// Marks the functions that run on the audio thread.
//
// Under clang with function-effect support the attribute makes the compiler
// (and RealtimeSanitizer, -fsanitize=realtime) treat the function as a
// realtime context: any allocation, lock or blocking call reached from it is
// reported. Other compilers see nothing.
#pragma once

#if defined(__clang__) && defined(__has_cpp_attribute)
#if __has_cpp_attribute(clang::nonblocking)
#define OMBER_NONBLOCKING [[clang::nonblocking]]
#endif
#endif
#ifndef OMBER_NONBLOCKING
#define OMBER_NONBLOCKING
#endif
