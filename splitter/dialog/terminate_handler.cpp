// Replaces the C++ library's default terminate handler. That handler writes
// the demangled type of the exception to the standard error stream, which a
// GUI program does not have, and brings the whole demangler (about 78 KB)
// into velmora.exe, whose code must fit below the joiner image at offset
// 458,752. Exceptions never reach it here: every window procedure, thread
// function and the start-up catch their own.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
