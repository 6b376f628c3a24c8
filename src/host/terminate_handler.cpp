// The DLL's own std::terminate handler, in place of the C++ runtime's verbose
// one. That one prints the escaping exception's demangled name to standard
// error, which the proxy's process does not have, and brings the runtime's
// demangler (about 46 KB) into the DLL. No exception leaves an export, so this
// runs only on a fault that ends the process either way.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    std::abort();
}

}  // namespace __gnu_cxx
