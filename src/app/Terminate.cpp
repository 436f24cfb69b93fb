// What std::terminate calls: abort(), as the C++ library's own handler does after naming the
// exception on stderr. A window program has no stderr, and that handler brings a 50 kB
// demangler into the program; defining it here keeps the library's out of the link.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler();

void __verbose_terminate_handler()
{
    std::abort();
}

} // namespace __gnu_cxx
