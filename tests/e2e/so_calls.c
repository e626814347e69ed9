/* Calls libhdsn_disks.so.1 as a C program linked against it would: asks the
 * size, then the text, and writes it to standard output, the fingerprint
 * followed by a line feed. Exits 0 when written, 4 when the fingerprint call
 * returned 4 (no input; nothing written), 1 when a call does not answer as
 * the header says.
 * Usage: so_calls --json | so_calls --fingerprint SALT */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "disks/hdsn_disks.h"

static const char *salt;

static int Fingerprint(char *buffer, size_t size, size_t *needed) {
  return hdsn_disks_fingerprint(salt, buffer, size, needed);
}

static int Fail(const char *what) {
  fprintf(stderr, "so_calls: %s\n", what);
  return 1;
}

int main(int argc, char **argv) {
  int (*call)(char *, size_t, size_t *);
  size_t needed = 12345, again = 0;
  char *text;
  int status;

  if (argc == 2 && strcmp(argv[1], "--json") == 0) {
    call = hdsn_disks_json;
  } else if (argc == 3 && strcmp(argv[1], "--fingerprint") == 0) {
    call = Fingerprint;
    salt = argv[2];
  } else {
    return Fail("usage: so_calls --json | so_calls --fingerprint SALT");
  }
  status = call(NULL, 0, &needed);
  if (status == 4 && call == Fingerprint) return needed == 0 ? 4 : Fail("needed is not 0 on 4");
  if (status != 1) return Fail("a null buffer of size 0 did not return 1");
  if (needed < 2) return Fail("needed is not the size of a text");
  if (call == Fingerprint && needed != 74) return Fail("the fingerprint does not take 74 bytes");
  /* One byte past the size, which the call must leave alone. */
  text = malloc(needed + 1);
  if (text == NULL) return Fail("out of memory");
  memset(text, 'x', needed + 1);
  if (call(text, needed - 1, &again) != 1 || again != needed)
    return Fail("a buffer one byte short did not return 1 with the same size");
  if (text[0] != 'x' || text[needed - 2] != 'x') return Fail("written though too small");
  if (call(text, needed, NULL) != 0) return Fail("a buffer of the size needed did not return 0");
  if (text[needed] != 'x' || strlen(text) + 1 != needed)
    return Fail("the text does not end with its NUL at the size given");
  fwrite(text, 1, needed - 1, stdout);
  if (call == Fingerprint) putchar('\n');
  free(text);
  return 0;
}
