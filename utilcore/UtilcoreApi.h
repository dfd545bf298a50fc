// What libutilcore.so exports: the library is built with hidden visibility, so
// only declarations marked UTILCORE_API are reachable from programs.
#pragma once

#if defined(__GNUC__)
#define UTILCORE_API __attribute__((visibility("default")))
#else
#define UTILCORE_API
#endif
