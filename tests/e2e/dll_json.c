/* Loads hdsn_disks.dll as any program would, finds hdsn_disks_json by its
 * undecorated name, asks the size, then the document, and writes the document
 * to standard output. With --fingerprint, hdsn_disks_fingerprint keyed by the
 * salt instead, its value followed by a line feed. Exits 1 when a call does
 * not answer as documented.
 * Usage: dll_json.exe path\to\hdsn_disks.dll [--fingerprint SALT] */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

typedef int(WINAPI *DisksJson)(char *buffer, size_t size, size_t *needed);
typedef int(WINAPI *DisksFingerprint)(const char *salt, char *buffer, size_t size,
                                      size_t *needed);

static DisksFingerprint fingerprint;
static const char *salt;

/* The fingerprint call in the shape of the document's, so that both go
 * through the same checks. */
static int WINAPI Fingerprint(char *buffer, size_t size, size_t *needed) {
  return fingerprint(salt, buffer, size, needed);
}

static int Fail(const char *what) {
  fprintf(stderr, "dll_json: %s\n", what);
  return 1;
}

int main(int argc, char **argv) {
  HMODULE library;
  DisksJson call;
  size_t needed = 0, again = 0;
  char *document;
  int status;

  if (argc != 2 && (argc != 4 || strcmp(argv[2], "--fingerprint") != 0))
    return Fail("usage: dll_json.exe hdsn_disks.dll [--fingerprint SALT]");
  library = LoadLibraryA(argv[1]);
  if (library == NULL) return Fail("LoadLibraryA failed");
  call = (DisksJson)(void (*)(void))GetProcAddress(library, "hdsn_disks_json");
  if (call == NULL) return Fail("no export named hdsn_disks_json");
  if (argc == 4) {
    fingerprint =
        (DisksFingerprint)(void (*)(void))GetProcAddress(library, "hdsn_disks_fingerprint");
    if (fingerprint == NULL) return Fail("no export named hdsn_disks_fingerprint");
    salt = argv[3];
    call = Fingerprint;
  }

  if (call(NULL, 0, &needed) != 1) return Fail("a null buffer of size 0 did not return 1");
  if (needed < 2) return Fail("needed is not the size of a document");
  if (call == Fingerprint && needed != 74) return Fail("the fingerprint does not take 74 bytes");
  /* One byte past the size, which the call must leave alone. */
  document = malloc(needed + 1);
  if (document == NULL) return Fail("out of memory");
  memset(document, 'x', needed + 1);
  if (call(document, needed - 1, &again) != 1 || again != needed)
    return Fail("a buffer one byte short did not return 1 with the same size");
  if (document[0] != 'x' || document[needed - 2] != 'x') return Fail("written though too small");
  status = call(document, needed, NULL);
  if (status != 0) return Fail("a buffer of the size needed did not return 0");
  if (document[needed] != 'x' || strlen(document) + 1 != needed)
    return Fail("the document does not end with its NUL at the size given");
  fwrite(document, 1, needed - 1, stdout);
  if (call == Fingerprint) putchar('\n');
  free(document);
  FreeLibrary(library);
  return 0;
}
