/* A message in pieces, as a program reading a file would have it: SHA-1
 * through a hasher the library allocates, MD5 through one in the caller's
 * own memory. */
#include <stdio.h>
#include <string.h>

#include <quillet/stream.h>

static const char *const pieces[] = {"The quick brown fox ", "jumps over ", "the lazy dog"};

static void Print(const char *name, const unsigned char *digest, uint64_t size) {
  uint64_t i;
  printf("%-4s ", name);
  for (i = 0; i < size; ++i) printf("%02x", digest[i]);
  printf("\n");
}

int main(void) {
  unsigned char digest[QUILLET_MAX_DIGEST_SIZE];
  unsigned char state[QUILLET_STATE_SIZE]; /* any alignment will do */
  quillet_hasher *hasher = NULL;
  uint64_t size = 0;
  size_t i;
  quillet_status status = quillet_hasher_new(QUILLET_STANDARD_SHA, &hasher);
  for (i = 0; i < 3 && status == QUILLET_OK; ++i) {
    status = quillet_hasher_update(hasher, pieces[i], strlen(pieces[i]));
  }
  if (status == QUILLET_OK) status = quillet_hasher_finish(hasher, digest, sizeof digest);
  quillet_hasher_free(hasher);
  if (status == QUILLET_OK) status = quillet_digest_size(QUILLET_STANDARD_SHA, &size);
  if (status == QUILLET_OK) Print("sha1", digest, size);

  if (status == QUILLET_OK) status = quillet_state_init(state, sizeof state, QUILLET_MD5);
  for (i = 0; i < 3 && status == QUILLET_OK; ++i) {
    status = quillet_state_update(state, pieces[i], strlen(pieces[i]));
  }
  if (status == QUILLET_OK) status = quillet_state_finish(state, digest, sizeof digest);
  quillet_state_clear(state, sizeof state);
  if (status == QUILLET_OK) status = quillet_digest_size_by_name("md5", &size);
  if (status == QUILLET_OK) Print("md5", digest, size);

  if (status != QUILLET_OK) {
    fprintf(stderr, "quillet: %s\n", quillet_status_text(status));
    return 1;
  }
  return 0;
}
