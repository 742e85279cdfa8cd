// Built with MinGW-w64 only. The runtime's default handler for an uncaught
// exception prints the exception's demangled type name, and so links the
// whole C++ demangler and a printf into the program: about a fifth of its
// size. A window program has nowhere to print that name, and every exception
// is caught where an event handler returns, so ending the process is enough.

#include <cstdlib>
#include <exception>  // declares the handler replaced here

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
