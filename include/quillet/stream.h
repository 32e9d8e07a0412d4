/*
 * Quillet's streaming C interface: every digest over a message given in
 * pieces, for callers in any language that load the library and call its
 * functions by name (libquillet.so on Linux, beside the five exports of
 * quillet.h; QuilletStream.dll on Windows, Quillet.DLL keeping exactly its
 * five). C89 and C++ alike.
 *
 * Types
 *   Fixed-width integers only. Sizes are uint64_t; a size the process cannot
 *   hold in memory (above 4 GiB - 1 in a 32-bit process) is refused with
 *   QUILLET_ERROR_TOO_LARGE, never cut short.
 *
 * Status
 *   Every function that can fail returns a quillet_status: QUILLET_OK (0) or
 *   one of the errors below, whose text quillet_status_text gives. A function
 *   that fails has changed nothing: no output written, no hasher changed.
 *
 * Memory
 *   The library never allocates what the caller does not release:
 *   quillet_hasher_new and quillet_hasher_copy make a hasher that
 *   quillet_hasher_free releases; nothing else allocates. Every returned
 *   text is a constant string of the library's. A hasher holds the tail of
 *   the message it has not hashed yet: finish, reset, free and
 *   quillet_state_clear wipe it, and every call wipes the stack it used.
 *
 * Threads
 *   Any number of threads may call any function at once, each on hashers
 *   and states of its own; one hasher or state is used by one thread at a
 *   time.
 */
#ifndef QUILLET_STREAM_H_
#define QUILLET_STREAM_H_

#include <stdint.h>

#if defined(_WIN32)
#if defined(QUILLET_BUILDING) || defined(QUILLET_STREAM_STATIC)
#define QUILLET_STREAM_API
#else
#define QUILLET_STREAM_API __declspec(dllimport)
#endif
#else
#define QUILLET_STREAM_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The interface's number: raised when functions are added to it (and then
 * compatibly), so a caller that needs this header's functions checks
 * quillet_abi_version() >= QUILLET_ABI_VERSION. */
#define QUILLET_ABI_VERSION 1

typedef int32_t quillet_status;
#define QUILLET_OK 0
#define QUILLET_ERROR_NULL 1              /* a null hasher, state or pointer */
#define QUILLET_ERROR_UNKNOWN_ALGORITHM 2 /* no algorithm has that number or name */
#define QUILLET_ERROR_OUT_OF_MEMORY 3
#define QUILLET_ERROR_FINISHED 4          /* finished already: reset it first */
#define QUILLET_ERROR_BUFFER_TOO_SMALL 5  /* an output or state buffer too small */
#define QUILLET_ERROR_TOO_LARGE 6         /* a size this process cannot hold */
#define QUILLET_ERROR_BAD_STATE 7         /* caller memory that holds no state */

/* The algorithms, numbered from 1 (0 is none, as zeroed memory reads). */
#define QUILLET_STANDARD_SHA 1 /* "sha1": SHA-1 (FIPS 180-1), 20 bytes */
#define QUILLET_BROKEN_SHA 2   /* "broken_sha": the export BrokenSHA's, 20 bytes */
#define QUILLET_LOCKDOWN_SHA 3 /* "lockdown_sha": the export LockdownSHA's, 20 bytes */
#define QUILLET_MD5 4          /* "md5": MD5 (RFC 1321) as 16 raw bytes */
/* The largest digest of any algorithm, in bytes. */
#define QUILLET_MAX_DIGEST_SIZE 20

/* The library's version, QUILLET_VERSION_STRING of quillet/quillet.h. */
QUILLET_STREAM_API const char *quillet_version(void);
/* The library's QUILLET_ABI_VERSION. */
QUILLET_STREAM_API uint32_t quillet_abi_version(void);
/* The text of a status; "unknown status" for a number that is none. */
QUILLET_STREAM_API const char *quillet_status_text(quillet_status status);

/* The algorithms are numbered 1 to quillet_algorithm_count(). */
QUILLET_STREAM_API uint32_t quillet_algorithm_count(void);
/* *name: the algorithm's name ("sha1", "broken_sha", "lockdown_sha", "md5"). */
QUILLET_STREAM_API quillet_status quillet_algorithm_name(uint32_t algorithm, const char **name);
/* *algorithm: the number of the algorithm called `name` (a zero-terminated
 * name as above, in any case). */
QUILLET_STREAM_API quillet_status quillet_algorithm_find(const char *name, uint32_t *algorithm);
/* *size: the algorithm's digest size in bytes, by number and by name. */
QUILLET_STREAM_API quillet_status quillet_digest_size(uint32_t algorithm, uint64_t *size);
QUILLET_STREAM_API quillet_status quillet_digest_size_by_name(const char *name, uint64_t *size);

/* One message at once: its digest into out[0 .. digest size). `data` may be
 * null when size is 0. */
QUILLET_STREAM_API quillet_status quillet_digest(uint32_t algorithm, const void *data,
                                                 uint64_t size, void *out, uint64_t out_size);

/* Many messages at once, each digest exactly what quillet_digest gives:
 * messages[i] of sizes[i] bytes (null when 0), its digest at
 * digests + i * digest size; digests_size must be at least count times the
 * digest size. Several messages are hashed side by side where the CPU can. */
QUILLET_STREAM_API quillet_status quillet_digest_many(uint32_t algorithm, uint64_t count,
                                                      const void *const *messages,
                                                      const uint64_t *sizes, void *digests,
                                                      uint64_t digests_size);

/* An opaque hasher that the library allocates.
 *
 *   quillet_hasher *h;
 *   if (quillet_hasher_new(QUILLET_STANDARD_SHA, &h) != QUILLET_OK) ...;
 *   quillet_hasher_update(h, part, part_size);   as many times as needed
 *   quillet_hasher_finish(h, digest, sizeof digest);
 *   quillet_hasher_free(h);
 *
 * finish writes the digest of everything taken in and leaves the hasher
 * finished: update and finish then return QUILLET_ERROR_FINISHED until
 * reset starts a new message. An output buffer smaller than the digest
 * gives QUILLET_ERROR_BUFFER_TOO_SMALL and leaves the hasher as it was. */
typedef struct quillet_hasher quillet_hasher;

/* *hasher: a new hasher (null when the call fails). */
QUILLET_STREAM_API quillet_status quillet_hasher_new(uint32_t algorithm, quillet_hasher **hasher);
QUILLET_STREAM_API quillet_status quillet_hasher_update(quillet_hasher *hasher, const void *data,
                                                        uint64_t size);
QUILLET_STREAM_API quillet_status quillet_hasher_finish(quillet_hasher *hasher, void *out,
                                                        uint64_t out_size);
/* *copy: a new hasher that goes on from the same point, independently. */
QUILLET_STREAM_API quillet_status quillet_hasher_copy(const quillet_hasher *hasher,
                                                      quillet_hasher **copy);
/* Starts a new message, whatever was taken in. */
QUILLET_STREAM_API quillet_status quillet_hasher_reset(quillet_hasher *hasher);
/* *algorithm: the hasher's algorithm. */
QUILLET_STREAM_API quillet_status quillet_hasher_algorithm(const quillet_hasher *hasher,
                                                           uint32_t *algorithm);
/* Wipes and releases the hasher; null is ignored. */
QUILLET_STREAM_API void quillet_hasher_free(quillet_hasher *hasher);

/* The same hasher over the caller's memory, for callers that allocate (on
 * the stack, in a managed array, inside a structure of their own):
 * quillet_state_size() bytes at any address, any alignment. The state may
 * be moved or copied byte for byte (memcpy, a garbage collector) between
 * calls: the bytes then go on from the same point. QUILLET_STATE_SIZE is
 * quillet_state_size() of this header's library, for arrays declared in C.
 * The library keeps the hasher at an aligned place inside the bytes and
 * records where: a state moved to an address equal to its old one modulo
 * quillet_state_align() goes on as it is; at any other address, the next
 * call first moves the hasher inside the bytes to where the new address
 * wants it.
 *
 *   unsigned char state[QUILLET_STATE_SIZE];
 *   quillet_state_init(state, sizeof state, QUILLET_MD5);
 *   quillet_state_update(state, part, part_size);
 *   quillet_state_finish(state, digest, sizeof digest);
 *   quillet_state_clear(state, sizeof state);
 *
 * Every function but init returns QUILLET_ERROR_BAD_STATE for memory that
 * init did not make a state (or that clear cleared). Bytes a state held are
 * the caller's to wipe when they are released: quillet_state_clear wipes
 * them (and a copy left behind by a move is cleared the same way). */
#define QUILLET_STATE_SIZE 160
QUILLET_STREAM_API uint64_t quillet_state_size(void);
QUILLET_STREAM_API uint64_t quillet_state_align(void);
QUILLET_STREAM_API quillet_status quillet_state_init(void *state, uint64_t state_size,
                                                     uint32_t algorithm);
QUILLET_STREAM_API quillet_status quillet_state_update(void *state, const void *data,
                                                       uint64_t size);
QUILLET_STREAM_API quillet_status quillet_state_finish(void *state, void *out, uint64_t out_size);
/* `to` (to_size bytes) becomes a state that goes on from where `from` is. */
QUILLET_STREAM_API quillet_status quillet_state_copy(const void *from, void *to, uint64_t to_size);
QUILLET_STREAM_API quillet_status quillet_state_reset(void *state);
/* Wipes all state_size bytes; the memory then holds no state. */
QUILLET_STREAM_API quillet_status quillet_state_clear(void *state, uint64_t state_size);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* QUILLET_STREAM_H_ */
