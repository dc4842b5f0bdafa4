// Sanitizer builds only: keeps the libraries that Mesa's llvmpipe brings in
// loaded until the process ends. SDL unloads the GL driver when video stops,
// and LeakSanitizer can then neither name what their start-up keeps nor match
// it against tests/lsan.supp.
#include <dlfcn.h>
#include <initializer_list>

__attribute__((constructor)) static void _asan_keep_loaded() {
    for (const char* lib : {"/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", "libGLX_mesa.so.0", "libEGL_mesa.so.0",
                            "libLLVM-15.so.1", "libxml2.so.2"})
        dlopen(lib, RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE);
}

// This toolchain's LeakSanitizer (GCC 12) guesses where a dynamic TLS block
// starts from a header that glibc no longer writes: when a block happens to
// sit 16 bytes past a page boundary it scans a garbage range at exit and dies
// ("Tracer caught signal 11"). Mesa's libraries use dynamic TLS, so whether a
// GL test hits this changes with the memory layout of the program. The blocks
// stay reachable through each thread's TLS vector, so leaks are still found
// without the guess.
extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }
