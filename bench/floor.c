/* The floor of the start-up benchmarks: a C program that prints two lines
   and exits (built static and dynamic by bench/startup.sh and
   bench/stack_startup.sh). */
#include <stdio.h>

int main(void) {
  fputs("0.244824\n", stdout);
  fputs("0.208293\n", stdout);
  return 0;
}
