/* The smallest Windows program of the build. scripts/test-windows.sh runs it
   under Wine to learn whether this machine runs the build's programs at all
   (32-bit ones need IA-32 support in the kernel, or qemu-i386 registered in
   its place) and whether Wine gives them the code page the tests expect. */
#include <stdio.h>
#include <windows.h>

int main(void) {
  printf("%u-bit, code page %u\n", (unsigned)(sizeof(void*) * 8), (unsigned)GetACP());
  return 0;
}
