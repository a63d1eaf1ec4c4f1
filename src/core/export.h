// Symbol visibility for the two modules. Everything is hidden unless marked KV_API:
// only the names other programs are meant to call leave the shared object.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define KV_API __attribute__((visibility("default")))
#else
#define KV_API
#endif

#ifdef __cplusplus
#define KV_EXTERN_C extern "C"
#else
#define KV_EXTERN_C
#endif
