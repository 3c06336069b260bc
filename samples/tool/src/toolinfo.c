/* toolinfo: the sample product's small program. It prints what it is and
 * where it runs from; started with /REGSERVER it only says so. */
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
  if (argc > 1 && strcmp(argv[1], "/REGSERVER") == 0) {
    puts("toolinfo: nothing to register");
    return 0;
  }
  printf("Sample Tool information 1.0 (%s)\n", argv[0]);
  return 0;
}
