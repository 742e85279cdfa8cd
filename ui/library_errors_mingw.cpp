// Built with MinGW-w64 only. libstdc++ reports a misused container (a text
// grown past its largest size, a position past its end) through these
// functions, which throw the standard exception types that carry a text. The
// one object file that holds them all brings in every such type, a second,
// copy-on-write string implementation and what that needs in turn: more
// than a quarter of the program. The program reports every exception other
// than bad_alloc the same way, as an unexpected failure, so an exception
// without a text says all that it shows. A library function that needed one
// not defined here would bring that object file back, and the link would
// fail on the functions defined twice.

#include <bits/functexcept.h>  // declares the functions replaced here
#include <exception>
#include <new>

namespace {

class LibraryMisuse final : public std::exception {
public:
    const char* what() const noexcept override { return "invalid use of a standard library type"; }
};

}  // namespace

namespace std {

void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_length_error(const char*) { throw LibraryMisuse(); }
void __throw_logic_error(const char*) { throw LibraryMisuse(); }
void __throw_out_of_range(const char*) { throw LibraryMisuse(); }
void __throw_out_of_range_fmt(const char*, ...) { throw LibraryMisuse(); }
void __throw_invalid_argument(const char*) { throw LibraryMisuse(); }

}  // namespace std
