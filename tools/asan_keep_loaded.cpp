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
