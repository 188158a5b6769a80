/* The floor for a program that must flush every line: the calculator's
   texts, reads and flushes, done with nothing but C stdio. */
#include <stdio.h>

static void put(const char *text) {
  fputs(text, stdout);
  fflush(stdout);
}

int main(void) {
  for (;;) {
    char sign;
    double first, second;
    put("Geb' das Rechenzeichen [+], [-], [*] oder [/] ein: ");
    if (scanf(" %c", &sign) != 1) {
      put("\n");
      return 0;
    }
    put("\n");
    put("Geb' die erste Zahl ein: ");
    if (scanf("%lf", &first) != 1) return 1;
    put("Geb' die zweite Zahl ein: ");
    if (scanf("%lf", &second) != 1) return 1;
    put("\n");
    printf("Das Ergebnis der Rechenaufgabe  %g%c%g  ist: %g", first, sign, second, first + second);
    put("\n");
    put("\n");
    put("Um eine erneute Rechenaufgabe zu l\x94sen ");
    put("Dr\x81" "cken Sie eine beliebige Taste . . . ");
    put("\n");
  }
}
