/* samplereg: the sample product's self-registering library. The installer
 * loads it after installing it and calls DllRegisterServer, which leaves
 * "samplereg.registered" beside the library as its visible registration;
 * the uninstall program calls DllUnregisterServer, which removes it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

/* The path of "samplereg.registered" beside this library in `path`; 0 on
 * success. */
static int RegistrationPath(char* path, size_t size, const char** library) {
  Dl_info info;
  if (dladdr((void*)&RegistrationPath, &info) == 0 || info.dli_fname == NULL) return 1;
  const char* slash = strrchr(info.dli_fname, '/');
  size_t dir = slash == NULL ? 0 : (size_t)(slash - info.dli_fname + 1);
  if (dir + sizeof "samplereg.registered" > size) return 1;
  memcpy(path, info.dli_fname, dir);
  strcpy(path + dir, "samplereg.registered");
  *library = info.dli_fname;
  return 0;
}

int DllRegisterServer(void) {
  char path[4096];
  const char* library = NULL;
  if (RegistrationPath(path, sizeof path, &library) != 0) return 1;
  FILE* out = fopen(path, "w");
  if (out == NULL) return 1;
  fprintf(out, "registered by DllRegisterServer of %s\n", library);
  return fclose(out) == 0 ? 0 : 1;
}

int DllUnregisterServer(void) {
  char path[4096];
  const char* library = NULL;
  if (RegistrationPath(path, sizeof path, &library) != 0) return 1;
  return remove(path) == 0 ? 0 : 1;
}
