/* Preloaded into a test program: makes dlopen fail for FreeTDS's libct, as on a machine
   where the library is not installed. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <string.h>

void* dlopen(const char* file, int mode) {
    static void* (*realDlopen)(const char*, int) = 0;
    if (file != 0 && strstr(file, "libct.so") != 0) {
        return 0;
    }
    if (realDlopen == 0) {
        realDlopen = (void* (*)(const char*, int))dlsym(RTLD_NEXT, "dlopen");
    }
    return realDlopen(file, mode);
}
