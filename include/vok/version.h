// The version of vok: the one place it is written. CMakeLists.txt and
// setup.py read it from here, the console program's --version, the Python
// package's __version__ and the R package's vok_version() from these macros;
// r/DESCRIPTION repeats it and a test holds the two equal.
#pragma once

#define VOK_VERSION_MAJOR 1
#define VOK_VERSION_MINOR 0
#define VOK_VERSION_PATCH 0
#define VOK_VERSION "1.0.0"

// What libvok.so exports: the API of include/vok/ and nothing of its inner
// workings (every public header includes this one).
#if defined(__GNUC__)
#define VOK_API __attribute__((visibility("default")))
#else
#define VOK_API
#endif
