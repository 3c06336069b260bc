// A small shared library that the process tests load as a "DLL".
extern "C" int DllRegisterServer() { return 0; }
extern "C" int Answer() { return 42; }
