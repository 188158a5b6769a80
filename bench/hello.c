/* The floor for start-up: a C program that prints one line and exits. */
#include <stdio.h>

int main(void) {
  puts("Geb' das Rechenzeichen [+], [-], [*] oder [/] ein: ");
  return 0;
}
