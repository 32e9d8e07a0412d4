/* The streaming interface (quillet/stream.h) as a C program linked against
 * the shared library sees it: every known answer and model answer through
 * the one-shot, the opaque hasher split every way, copied mid-message, and
 * the caller-allocated state at every alignment moved between updates;
 * digest_many against one-shots; and every error a caller can make. */
#include <stdlib.h>
#include <string.h>

#include "caller.h"
#include "quillet/stream.h"

#define MAX_DIGEST QUILLET_MAX_DIGEST_SIZE

/* The exports' names in the answer files, and their algorithms. */
static const struct {
  const char *export_name;
  uint32_t algorithm;
} kAlgorithmOf[] = {{"StandardSHA", QUILLET_STANDARD_SHA},
                    {"BrokenSHA", QUILLET_BROKEN_SHA},
                    {"LockdownSHA", QUILLET_LOCKDOWN_SHA},
                    {"MD5", QUILLET_MD5}};

static uint64_t SizeOf(uint32_t algorithm) {
  uint64_t size = 0;
  CHECK(quillet_digest_size(algorithm, &size) == QUILLET_OK, "digest size of %u",
        (unsigned)algorithm);
  return size;
}

/* Lower-case hex, or upper-case for MD5 as the answer files write it. */
static void Hex(uint32_t algorithm, const unsigned char *digest, char *out) {
  const uint64_t n = SizeOf(algorithm);
  for (uint64_t i = 0; i < n; ++i) {
    sprintf(out + 2 * i, algorithm == QUILLET_MD5 ? "%02X" : "%02x", digest[i]);
  }
  out[2 * n] = '\0';
}

/* The ways a message is given to update: the piece sizes in turn (the last
 * repeated to the end); 0 is an empty update. */
static const struct {
  const char *name;
  uint64_t pieces[6];
  int count;
} kSplits[] = {
    {"whole", {(uint64_t)-1}, 1},
    {"empty updates between", {0, 1, 0, 63, 0, 64}, 6},
    {"one byte then the rest", {1, (uint64_t)-1}, 2},
    {"55, 1, 8", {55, 1, 8, 0, 64}, 5},
    {"63 then 65s", {63, 65}, 2},
    {"sevens", {7}, 1},
    {"bytes", {1}, 1},
};

/* Feeds `message` to `update` (a hasher's or a state's) in the split's
 * pieces. */
typedef quillet_status (*UpdateFn)(void *target, const void *data, uint64_t size);
static quillet_status UpdateHasher(void *h, const void *data, uint64_t size) {
  return quillet_hasher_update((quillet_hasher *)h, data, size);
}
static quillet_status UpdateState(void *state, const void *data, uint64_t size) {
  return quillet_state_update(state, data, size);
}

static void Feed(int split, const char *message, uint64_t length, UpdateFn update, void *target) {
  const int count = kSplits[split].count;
  uint64_t at = 0;
  for (int piece = 0; at < length || piece < count; ++piece) {
    uint64_t size = kSplits[split].pieces[piece < count ? piece : count - 1];
    if (size > length - at) size = length - at;
    CHECK(update(target, message + at, size) == QUILLET_OK, "update");
    at += size;
  }
}

/* Caller memory for states at any alignment, and a second place to move
 * one to. */
static unsigned char arena[2][QUILLET_STATE_SIZE + 32];

/* Moves a state byte for byte to the other arena at another alignment, and
 * leaves zeros where it was. */
static unsigned char *MoveState(unsigned char *state, int to_alignment) {
  unsigned char *to = arena[state >= arena[1] ? 0 : 1] + to_alignment;
  memcpy(to, state, (size_t)quillet_state_size());
  memset(state, 0, (size_t)quillet_state_size());
  return to;
}

static int CheckStreams(const char *digest, const char *field, const char *message, long length,
                        const char *want) {
  uint32_t algorithm = 0;
  for (size_t i = 0; i < sizeof kAlgorithmOf / sizeof kAlgorithmOf[0]; ++i) {
    if (strcmp(digest, kAlgorithmOf[i].export_name) == 0) algorithm = kAlgorithmOf[i].algorithm;
  }
  if (algorithm == 0) return 0; /* the password proof has no stream */
  unsigned char out[MAX_DIGEST];
  char text[2 * MAX_DIGEST + 1];
  const uint64_t n = (uint64_t)length;

  CHECK(quillet_digest(algorithm, message, n, out, sizeof out) == QUILLET_OK, "one-shot");
  Hex(algorithm, out, text);
  CHECK(strcmp(text, want) == 0, "%s(%s) one-shot = %s, not %s", digest, field, text, want);

  /* The opaque hasher, every split (byte by byte only for short messages),
   * and a copy made halfway that finishes the same. */
  for (int split = 0; split < (int)(sizeof kSplits / sizeof kSplits[0]); ++split) {
    if (kSplits[split].pieces[0] == 1 && kSplits[split].count == 1 && n > 300) continue;
    quillet_hasher *h = NULL, *copy = NULL;
    CHECK(quillet_hasher_new(algorithm, &h) == QUILLET_OK && h != NULL, "new");
    const uint64_t half = n / 2;
    Feed(split, message, half, UpdateHasher, h);
    CHECK(quillet_hasher_copy(h, &copy) == QUILLET_OK && copy != NULL, "copy");
    Feed(split, message + half, n - half, UpdateHasher, h);
    CHECK(quillet_hasher_finish(h, out, sizeof out) == QUILLET_OK, "finish");
    Hex(algorithm, out, text);
    CHECK(strcmp(text, want) == 0, "%s(%s) split %s = %s", digest, field, kSplits[split].name,
          text);
    CHECK(quillet_hasher_update(copy, message + half, n - half) == QUILLET_OK, "copy's update");
    CHECK(quillet_hasher_finish(copy, out, sizeof out) == QUILLET_OK, "copy's finish");
    Hex(algorithm, out, text);
    CHECK(strcmp(text, want) == 0, "%s(%s) copied halfway = %s", digest, field, text);
    quillet_hasher_free(copy);
    quillet_hasher_free(h);
  }

  /* The caller's state at every alignment, moved to another between
   * updates, and a state copied from it to a third alignment. */
  for (int alignment = 0; alignment < 16; ++alignment) {
    const int split = alignment % (int)(sizeof kSplits / sizeof kSplits[0]);
    if (kSplits[split].pieces[0] == 1 && kSplits[split].count == 1 && n > 300) continue;
    const int moved_alignment = (alignment * 7 + 3) % 16;
    unsigned char *state = arena[0] + alignment;
    CHECK(quillet_state_init(state, quillet_state_size(), algorithm) == QUILLET_OK, "init");
    Feed(split, message, n / 3, UpdateState, state);
    state = MoveState(state, moved_alignment);
    /* Copied straight after the move, before the moved state is used. */
    unsigned char *copy = arena[0] + 15 - alignment;
    CHECK(quillet_state_copy(state, copy, QUILLET_STATE_SIZE) == QUILLET_OK, "state copy");
    Feed(split, message + n / 3, n - n / 3, UpdateState, state);
    CHECK(quillet_state_update(copy, message + n / 3, n - n / 3) == QUILLET_OK, "copy's update");
    CHECK(quillet_state_finish(state, out, sizeof out) == QUILLET_OK, "state finish");
    Hex(algorithm, out, text);
    CHECK(strcmp(text, want) == 0, "%s(%s) state at %d moved to %d = %s", digest, field,
          alignment, moved_alignment, text);
    CHECK(quillet_state_finish(copy, out, sizeof out) == QUILLET_OK, "copied state's finish");
    Hex(algorithm, out, text);
    CHECK(strcmp(text, want) == 0, "%s(%s) state copied at %d = %s", digest, field,
          15 - alignment, text);
    CHECK(quillet_state_clear(state, quillet_state_size()) == QUILLET_OK, "clear");
    CHECK(quillet_state_clear(copy, quillet_state_size()) == QUILLET_OK, "clear the copy");
  }
  return 1;
}

/* Whether `size` bytes at `memory` hold the first n bytes of `what`. */
static int Holds(const unsigned char *memory, size_t size, const unsigned char *what, size_t n) {
  for (size_t at = 0; at + n <= size; ++at) {
    if (memcmp(memory + at, what, n) == 0) return 1;
  }
  return 0;
}

/* pattern(LENGTH,SEED) of the model answers. */
static void Pattern(unsigned char *out, size_t length, unsigned seed) {
  for (size_t i = 0; i < length; ++i) out[i] = (unsigned char)((i * 131 + seed * 7 + (i >> 8)) & 255);
}

/* digest_many over messages of every length to 300 and some long ones, in
 * one call, against the one-shot of each. */
static void TestDigestMany(void) {
  enum { kCount = 340 };
  static unsigned char data[kCount][5000];
  static const void *messages[kCount];
  static uint64_t sizes[kCount];
  static unsigned char digests[kCount * MAX_DIGEST];
  for (int i = 0; i < kCount; ++i) {
    sizes[i] = i <= 300 ? (uint64_t)i : (uint64_t)(i * 13);
    Pattern(data[i], (size_t)sizes[i], (unsigned)i);
    messages[i] = i == 0 ? NULL : data[i]; /* an empty message may be null */
  }
  for (uint32_t a = 1; a <= quillet_algorithm_count(); ++a) {
    const uint64_t size = SizeOf(a);
    memset(digests, 0, sizeof digests);
    CHECK(quillet_digest_many(a, kCount, messages, sizes, digests, kCount * size) == QUILLET_OK,
          "digest_many %u", (unsigned)a);
    for (int i = 0; i < kCount; ++i) {
      unsigned char one[MAX_DIGEST];
      CHECK(quillet_digest(a, messages[i], sizes[i], one, size) == QUILLET_OK, "one-shot");
      CHECK(memcmp(one, digests + (size_t)i * size, (size_t)size) == 0,
            "digest_many %u, message %d of %u bytes", (unsigned)a, i, (unsigned)sizes[i]);
    }
  }
}

/* Names, numbers, sizes, texts and the version. */
static void TestNames(void) {
  static const struct {
    uint32_t algorithm;
    const char *name, *other_case;
    uint64_t size;
  } kRows[] = {{QUILLET_STANDARD_SHA, "sha1", "SHA1", 20},
               {QUILLET_BROKEN_SHA, "broken_sha", "Broken_SHA", 20},
               {QUILLET_LOCKDOWN_SHA, "lockdown_sha", "LOCKDOWN_sha", 20},
               {QUILLET_MD5, "md5", "MD5", 16}};
  CHECK(quillet_algorithm_count() == 4, "four algorithms");
  for (size_t i = 0; i < sizeof kRows / sizeof kRows[0]; ++i) {
    const char *name = NULL;
    uint32_t found = 0;
    uint64_t size = 0, by_name = 0;
    CHECK(quillet_algorithm_name(kRows[i].algorithm, &name) == QUILLET_OK && name != NULL &&
              strcmp(name, kRows[i].name) == 0,
          "name of %u", (unsigned)kRows[i].algorithm);
    CHECK(quillet_algorithm_find(kRows[i].other_case, &found) == QUILLET_OK &&
              found == kRows[i].algorithm,
          "find %s", kRows[i].other_case);
    CHECK(quillet_digest_size(kRows[i].algorithm, &size) == QUILLET_OK && size == kRows[i].size,
          "size of %s", kRows[i].name);
    CHECK(quillet_digest_size_by_name(kRows[i].name, &by_name) == QUILLET_OK &&
              by_name == kRows[i].size,
          "size of %s by name", kRows[i].name);
    CHECK(size <= MAX_DIGEST, "QUILLET_MAX_DIGEST_SIZE holds %s", kRows[i].name);
  }
  CHECK(strcmp(quillet_version(), QUILLET_VERSION_STRING) == 0, "version %s", quillet_version());
  CHECK(quillet_abi_version() >= QUILLET_ABI_VERSION, "ABI %u", (unsigned)quillet_abi_version());
  CHECK(quillet_state_size() <= QUILLET_STATE_SIZE, "QUILLET_STATE_SIZE holds a state");
  CHECK(quillet_state_align() != 0 && (quillet_state_align() & (quillet_state_align() - 1)) == 0,
        "alignment a power of two");
  /* Every status its own text; any other number one text for all. */
  for (quillet_status s = QUILLET_OK; s <= QUILLET_ERROR_BAD_STATE; ++s) {
    CHECK(strcmp(quillet_status_text(s), quillet_status_text(-1)) != 0 &&
              (s == QUILLET_OK || strcmp(quillet_status_text(s), quillet_status_text(s - 1)) != 0),
          "status %d: %s", (int)s, quillet_status_text(s));
  }
  CHECK(strcmp(quillet_status_text(QUILLET_ERROR_BAD_STATE + 1), "unknown status") == 0,
        "unknown status text");
}

/* Every error: the status, and that nothing changed. */
static void TestErrors(void) {
  static const struct {
    const char *name;
    uint32_t algorithm;
  } kUnknown[] = {{"sha2", 0}, {"", 5}, {"md5 ", 99}, {"sha", 0xFFFFFFFFu}};
  quillet_hasher *h = (quillet_hasher *)&h; /* a value the call must clear */
  unsigned char out[MAX_DIGEST], big[64];
  const char *name = "untouched";
  uint32_t found = 77;
  uint64_t size = 77;
  memset(big, 0, sizeof big);
  for (size_t i = 0; i < sizeof kUnknown / sizeof kUnknown[0]; ++i) {
    CHECK(quillet_hasher_new(kUnknown[i].algorithm, &h) == QUILLET_ERROR_UNKNOWN_ALGORITHM &&
              h == NULL,
          "new(%u)", (unsigned)kUnknown[i].algorithm);
    CHECK(quillet_algorithm_find(kUnknown[i].name, &found) == QUILLET_ERROR_UNKNOWN_ALGORITHM &&
              found == 77,
          "find(\"%s\")", kUnknown[i].name);
    CHECK(quillet_algorithm_name(kUnknown[i].algorithm, &name) == QUILLET_ERROR_UNKNOWN_ALGORITHM,
          "name(%u)", (unsigned)kUnknown[i].algorithm);
    CHECK(quillet_digest_size(kUnknown[i].algorithm, &size) == QUILLET_ERROR_UNKNOWN_ALGORITHM &&
              quillet_digest_size_by_name(kUnknown[i].name, &size) ==
                  QUILLET_ERROR_UNKNOWN_ALGORITHM &&
              size == 77,
          "sizes of unknowns");
    CHECK(quillet_digest(kUnknown[i].algorithm, "", 0, out, sizeof out) ==
                  QUILLET_ERROR_UNKNOWN_ALGORITHM &&
              quillet_digest_many(kUnknown[i].algorithm, 0, NULL, NULL, NULL, 0) ==
                  QUILLET_ERROR_UNKNOWN_ALGORITHM &&
              quillet_state_init(big, sizeof big, kUnknown[i].algorithm) ==
                  QUILLET_ERROR_UNKNOWN_ALGORITHM,
          "one-shots and state of %u", (unsigned)kUnknown[i].algorithm);
  }
  CHECK(strcmp(name, "untouched") == 0, "a failed name() writes nothing");

  /* Null handles and pointers. */
  CHECK(quillet_hasher_new(QUILLET_MD5, NULL) == QUILLET_ERROR_NULL, "new into null");
  CHECK(quillet_hasher_update(NULL, "a", 1) == QUILLET_ERROR_NULL, "update(null)");
  CHECK(quillet_hasher_finish(NULL, out, sizeof out) == QUILLET_ERROR_NULL, "finish(null)");
  CHECK(quillet_hasher_reset(NULL) == QUILLET_ERROR_NULL, "reset(null)");
  CHECK(quillet_hasher_algorithm(NULL, &found) == QUILLET_ERROR_NULL, "algorithm(null)");
  quillet_hasher *copy = (quillet_hasher *)&copy;
  CHECK(quillet_hasher_copy(NULL, &copy) == QUILLET_ERROR_NULL && copy == NULL, "copy(null)");
  quillet_hasher_free(NULL);
  CHECK(quillet_algorithm_find(NULL, &found) == QUILLET_ERROR_NULL, "find(null)");
  CHECK(quillet_algorithm_name(1, NULL) == QUILLET_ERROR_NULL, "name into null");
  CHECK(quillet_digest_size(1, NULL) == QUILLET_ERROR_NULL, "size into null");
  CHECK(quillet_digest_size_by_name(NULL, &size) == QUILLET_ERROR_NULL, "size by null name");
  CHECK(quillet_digest(1, NULL, 1, out, sizeof out) == QUILLET_ERROR_NULL, "one-shot of null");
  CHECK(quillet_digest(1, "", 0, NULL, 20) == QUILLET_ERROR_NULL, "one-shot into null");
  CHECK(quillet_state_init(NULL, 1000, 1) == QUILLET_ERROR_NULL &&
            quillet_state_update(NULL, "", 0) == QUILLET_ERROR_NULL &&
            quillet_state_finish(NULL, out, sizeof out) == QUILLET_ERROR_NULL &&
            quillet_state_reset(NULL) == QUILLET_ERROR_NULL &&
            quillet_state_copy(NULL, big, sizeof big) == QUILLET_ERROR_NULL &&
            quillet_state_clear(NULL, 1000) == QUILLET_ERROR_NULL,
        "null states");

  /* One hasher through every misuse: it still gives the right digests. */
  static const unsigned char kAbc[20] = {0xa9, 0x99, 0x3e, 0x36, 0x47, 0x06, 0x81,
                                         0x6a, 0xba, 0x3e, 0x25, 0x71, 0x78, 0x50,
                                         0xc2, 0x6c, 0x9c, 0xd0, 0xd8, 0x9d};
  CHECK(quillet_hasher_new(QUILLET_STANDARD_SHA, &h) == QUILLET_OK, "new");
  CHECK(quillet_hasher_algorithm(h, &found) == QUILLET_OK && found == QUILLET_STANDARD_SHA,
        "algorithm");
  CHECK(quillet_hasher_update(h, NULL, 0) == QUILLET_OK, "empty update from null");
  CHECK(quillet_hasher_update(h, NULL, 3) == QUILLET_ERROR_NULL, "update from null");
  CHECK(quillet_hasher_update(h, "abc", 3) == QUILLET_OK, "update");
  memset(out, 0xEE, sizeof out);
  CHECK(quillet_hasher_finish(h, out, 19) == QUILLET_ERROR_BUFFER_TOO_SMALL && out[0] == 0xEE,
        "small buffer, nothing written");
  CHECK(quillet_hasher_finish(h, NULL, 20) == QUILLET_ERROR_NULL, "finish into null");
  CHECK(quillet_hasher_finish(h, big, sizeof big) == QUILLET_OK && memcmp(big, kAbc, 20) == 0 &&
            big[20] == 0,
        "after the errors, abc's digest, and no byte past it");
  CHECK(quillet_hasher_finish(h, out, sizeof out) == QUILLET_ERROR_FINISHED, "finished twice");
  CHECK(quillet_hasher_update(h, "abc", 3) == QUILLET_ERROR_FINISHED, "update when finished");
  CHECK(quillet_hasher_copy(h, &copy) == QUILLET_OK, "copy of a finished hasher");
  CHECK(quillet_hasher_finish(copy, out, sizeof out) == QUILLET_ERROR_FINISHED, "copy finished");
  quillet_hasher_free(copy);
  CHECK(quillet_hasher_reset(h) == QUILLET_OK, "reset");
  CHECK(quillet_hasher_update(h, "abc", 3) == QUILLET_OK &&
            quillet_hasher_finish(h, out, sizeof out) == QUILLET_OK && memcmp(out, kAbc, 20) == 0,
        "after reset, abc again");
  CHECK(quillet_hasher_reset(h) == QUILLET_OK && quillet_hasher_update(h, "xyz", 3) == QUILLET_OK &&
            quillet_hasher_reset(h) == QUILLET_OK && quillet_hasher_update(h, "abc", 3) == QUILLET_OK &&
            quillet_hasher_finish(h, out, sizeof out) == QUILLET_OK && memcmp(out, kAbc, 20) == 0,
        "reset mid-message forgets it");
  quillet_hasher_free(h);

  /* The same over a state. */
  unsigned char *state = arena[0] + 3;
  memset(arena, 0, sizeof arena);
  CHECK(quillet_state_update(state, "abc", 3) == QUILLET_ERROR_BAD_STATE, "zeroed memory");
  CHECK(quillet_state_init(state, quillet_state_size() - 1, 1) == QUILLET_ERROR_BUFFER_TOO_SMALL,
        "state buffer too small");
  CHECK(quillet_state_init(state, quillet_state_size(), 1) == QUILLET_OK, "init");
  CHECK(quillet_state_update(state, NULL, 3) == QUILLET_ERROR_NULL, "state update from null");
  CHECK(quillet_state_update(state, "abc", 3) == QUILLET_OK, "state update");
  CHECK(quillet_state_copy(state, arena[1], quillet_state_size() - 1) ==
            QUILLET_ERROR_BUFFER_TOO_SMALL,
        "copy into too little");
  CHECK(quillet_state_finish(state, out, 19) == QUILLET_ERROR_BUFFER_TOO_SMALL, "small buffer");
  CHECK(quillet_state_finish(state, out, 20) == QUILLET_OK && memcmp(out, kAbc, 20) == 0, "abc");
  CHECK(quillet_state_finish(state, out, 20) == QUILLET_ERROR_FINISHED, "state finished twice");
  CHECK(quillet_state_update(state, "abc", 3) == QUILLET_ERROR_FINISHED, "state update finished");
  CHECK(quillet_state_reset(state) == QUILLET_OK && quillet_state_update(state, "abc", 3) == QUILLET_OK &&
            quillet_state_finish(state, out, 20) == QUILLET_OK && memcmp(out, kAbc, 20) == 0,
        "state reset");
  CHECK(quillet_state_clear(state, quillet_state_size() - 1) == QUILLET_ERROR_BUFFER_TOO_SMALL,
        "clear of too little");
  CHECK(quillet_state_clear(state, quillet_state_size()) == QUILLET_OK, "clear");
  CHECK(quillet_state_finish(state, out, 20) == QUILLET_ERROR_BAD_STATE, "a cleared state");

  /* Sizes: a count whose digests no buffer holds, and, in a 32-bit
   * process, sizes past 4 GiB - 1 that must not be cut to 32 bits. */
  static const void *messages[2] = {"abc", "abc"};
  uint64_t sizes[2] = {3, 3};
  memset(big, 0xEE, sizeof big);
  CHECK(quillet_digest_many(1, 2, messages, sizes, big, 39) == QUILLET_ERROR_BUFFER_TOO_SMALL &&
            big[0] == 0xEE,
        "digest_many into too little");
  CHECK(quillet_digest_many(1, UINT64_MAX, messages, sizes, big, UINT64_MAX) ==
            QUILLET_ERROR_TOO_LARGE,
        "digest_many of more messages than memory");
  CHECK(quillet_digest_many(1, 2, NULL, sizes, big, 40) == QUILLET_ERROR_NULL &&
            quillet_digest_many(1, 2, messages, NULL, big, 40) == QUILLET_ERROR_NULL &&
            quillet_digest_many(1, 2, messages, sizes, NULL, 40) == QUILLET_ERROR_NULL,
        "digest_many's null arrays");
  static const void *with_null[2] = {"abc", NULL};
  CHECK(quillet_digest_many(1, 2, with_null, sizes, big, 40) == QUILLET_ERROR_NULL &&
            big[0] == 0xEE,
        "a null message, nothing written");
  CHECK(quillet_digest_many(1, 0, NULL, NULL, NULL, 0) == QUILLET_OK, "no messages");
  if (sizeof(size_t) < sizeof(uint64_t)) {
    const uint64_t huge = (uint64_t)(size_t)-1 + 1; /* 2^32 */
    CHECK(quillet_hasher_new(QUILLET_STANDARD_SHA, &h) == QUILLET_OK, "new");
    CHECK(quillet_hasher_update(h, "abc", huge + 3) == QUILLET_ERROR_TOO_LARGE, "update of 4 GiB");
    CHECK(quillet_hasher_finish(h, out, sizeof out) == QUILLET_OK &&
              memcmp(out, "\xda\x39\xa3\xee", 4) == 0,
          "nothing hashed of it (the empty message's digest)");
    quillet_hasher_free(h);
    CHECK(quillet_digest(1, "abc", huge + 3, out, sizeof out) == QUILLET_ERROR_TOO_LARGE,
          "one-shot of 4 GiB");
    sizes[1] = huge + 3;
    CHECK(quillet_digest_many(1, 2, messages, sizes, big, 40) == QUILLET_ERROR_TOO_LARGE &&
              big[0] == 0xEE,
          "digest_many with a message of 4 GiB");
    CHECK(quillet_digest_many(1, huge + 2, messages, sizes, big, UINT64_MAX) ==
              QUILLET_ERROR_TOO_LARGE,
          "digest_many of 2^32 messages");
    CHECK(quillet_state_init(arena[0], quillet_state_size(), 1) == QUILLET_OK &&
              quillet_state_update(arena[0], "abc", huge + 3) == QUILLET_ERROR_TOO_LARGE,
          "state update of 4 GiB");
    CHECK(quillet_state_clear(arena[0], huge + 3) == QUILLET_ERROR_TOO_LARGE,
          "clear of 4 GiB");
    printf("sizes past 4 GiB refused in this 32-bit process\n");
  }
}

/* What a state held of the message is gone once it is finished. */
static void TestWipes(void) {
  unsigned char secret[40], out[MAX_DIGEST];
  memset(secret, 0xA5, sizeof secret);
  for (uint32_t a = 1; a <= quillet_algorithm_count(); ++a) {
    unsigned char *state = arena[0] + a;
    memset(arena, 0, sizeof arena);
    CHECK(quillet_state_init(state, quillet_state_size(), a) == QUILLET_OK &&
              quillet_state_update(state, secret, sizeof secret) == QUILLET_OK,
          "a secret taken in");
    CHECK(Holds(state, (size_t)quillet_state_size(), secret, 16),
          "the state holds the tail (the test sees it)");
    CHECK(quillet_state_finish(state, out, sizeof out) == QUILLET_OK, "finish");
    CHECK(!Holds(state, (size_t)quillet_state_size(), secret, 4),
          "algorithm %u: the tail wiped when finished", (unsigned)a);
    CHECK(quillet_state_reset(state) == QUILLET_OK &&
              quillet_state_update(state, secret, sizeof secret) == QUILLET_OK &&
              quillet_state_reset(state) == QUILLET_OK &&
              !Holds(state, (size_t)quillet_state_size(), secret, 4),
          "algorithm %u: the tail wiped when reset", (unsigned)a);
    CHECK(quillet_state_update(state, secret, sizeof secret) == QUILLET_OK &&
              quillet_state_clear(state, quillet_state_size()) == QUILLET_OK,
          "clear");
    int zero = 1;
    for (size_t i = 0; i < sizeof arena[0]; ++i) zero &= arena[0][i] == 0;
    CHECK(zero, "algorithm %u: clear zeroes the state", (unsigned)a);
  }
}

int main(void) {
  CHECK(ReadAnswers(QUILLET_KNOWN_ANSWERS, CheckStreams) >= 30, "known answers");
  CHECK(ReadAnswers(QUILLET_MODEL_ANSWERS, CheckStreams) >= 1000, "model answers");
  TestDigestMany();
  TestNames();
  TestErrors();
  TestWipes();
  return Finish();
}
