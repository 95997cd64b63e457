// Export macro of the host library and the few compiler-specific constructs the host needs.
#pragma once

#if defined(_WIN32)
#if defined(QXIO_BUILDING_LIBRARY)
#define QXIO_API __declspec(dllexport)
#else
#define QXIO_API __declspec(dllimport)
#endif
#else
#define QXIO_API __attribute__((visibility("default")))
#endif

#define QXIO_WIDEN2(text) L##text
#define QXIO_WIDEN(text) QXIO_WIDEN2(text)
// The raising site's source file as a wide string, for the error operations.
#define QXIO_WFILE QXIO_WIDEN(__FILE__)
