/* samplereg: the sample product's self-registering library. The installer
 * loads it after installing it and calls DllRegisterServer, which leaves
 * "samplereg.registered" beside the library as its visible registration. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

int DllRegisterServer(void) {
  Dl_info info;
  if (dladdr((void*)&DllRegisterServer, &info) == 0 || info.dli_fname == NULL) return 1;
  char path[4096];
  const char* slash = strrchr(info.dli_fname, '/');
  size_t dir = slash == NULL ? 0 : (size_t)(slash - info.dli_fname + 1);
  if (dir + sizeof "samplereg.registered" > sizeof path) return 1;
  memcpy(path, info.dli_fname, dir);
  strcpy(path + dir, "samplereg.registered");
  FILE* out = fopen(path, "w");
  if (out == NULL) return 1;
  fprintf(out, "registered by DllRegisterServer of %s\n", info.dli_fname);
  return fclose(out) == 0 ? 0 : 1;
}

int DllUnregisterServer(void) { return 0; }
