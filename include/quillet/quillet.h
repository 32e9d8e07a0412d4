/*
 * Quillet: digest functions over counted byte strings.
 *
 * This is the C interface of the shared library (Quillet.DLL on Windows,
 * libquillet.so elsewhere). Callers in any language load the library and find
 * the functions below by name.
 *
 * ByteString
 *   A counted string of arbitrary bytes. The handle points at the first
 *   content byte; the byte count is a 32-bit unsigned integer in the
 *   platform's byte order (little-endian on x86 and ARM64, big-endian on
 *   s390x), in the four bytes just before it. Zero bytes are ordinary content and no
 *   terminator is consulted. The null handle is the empty string; a non-null
 *   handle with count 0 is the empty string too.
 *
 *   On Windows a ByteString is an OLE Automation BSTR used as a byte string:
 *   make one with SysAllocStringByteLen and release it with SysFreeString from
 *   oleaut32. Elsewhere the library exports an allocator under the same three
 *   names and with the same layout (see below), so a caller's code reads the
 *   same on every platform.
 *
 * Arguments and results
 *   Every argument is passed by reference: the address of the caller's
 *   variable that holds the handle (or the 32-bit token). The library reads
 *   the variable once and the bytes it points at; it never writes either and
 *   never releases the caller's string. A null *address* (no variable at
 *   all, an easy mistake in a by-reference binding) does not crash: it reads
 *   as the null handle, the empty string, and for a token as the token 0.
 *
 *   Every function returns a new ByteString that only the caller refers to.
 *   The caller owns it and releases it with SysFreeString. A result is never
 *   the empty string, with one exception: when memory runs out during the
 *   call, the function releases everything it allocated and returns the null
 *   handle. So a null result always means "out of memory".
 *
 * Threads
 *   The library keeps no state between calls, no writable global data and no
 *   locks: any number of threads may call any function at the same time.
 */
#ifndef QUILLET_QUILLET_H_
#define QUILLET_QUILLET_H_

/* The library's version. */
#define QUILLET_VERSION_MAJOR 0
#define QUILLET_VERSION_MINOR 0
#define QUILLET_VERSION_PATCH 0
#define QUILLET_VERSION_TWEAK 6
#define QUILLET_VERSION_STRING "0.0.0.6"

#include <stdint.h>

#if defined(_WIN32)
#include <wchar.h>
/* Windows: exports use stdcall (the one convention on 64-bit Windows). */
#define QUILLET_CALL __stdcall
#if defined(QUILLET_BUILDING)
#define QUILLET_API
#else
#define QUILLET_API __declspec(dllimport)
#endif
/* Layout-compatible with BSTR (OLECHAR *): pass the address of a BSTR. */
typedef wchar_t *ByteString;
#else
#define QUILLET_CALL
#define QUILLET_API __attribute__((visibility("default")))
typedef unsigned char *ByteString;
#endif

/* On ELF platforms a program's calls bind to the library's own names for
 * these functions, quillet_StandardSHA and so on, which it exports beside
 * the plain names: so a program linked against Quillet calls Quillet's
 * functions whatever other library exports the same names (libcrypto's MD5,
 * say) and in whatever order the libraries are linked and loaded. Callers
 * that look the functions up by name use the plain names. */
#if !defined(_WIN32) && !defined(QUILLET_BUILDING) && defined(__ELF__) && \
    (defined(__GNUC__) || defined(__clang__))
#define QUILLET_LINK_NAME(name) __asm__("quillet_" #name)
#else
#define QUILLET_LINK_NAME(name)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* StandardSHA returns the SHA-1 digest (FIPS 180-1) of the bytes of *data as
 * a new 20-byte string, in the usual byte order. */
QUILLET_API ByteString QUILLET_CALL StandardSHA(const ByteString *data)
    QUILLET_LINK_NAME(StandardSHA);

/* BrokenSHA returns a 20-byte non-standard SHA-1 variant of *data: words
 * little-endian, the message filled with zero bytes to a whole number of
 * 64-byte blocks (no marker, no length; the empty string has no block), and
 * every scheduled word past the sixteenth has the single bit (v & 31) set.
 * Trailing zero bytes within the last block do not change it. */
QUILLET_API ByteString QUILLET_CALL BrokenSHA(const ByteString *data)
    QUILLET_LINK_NAME(BrokenSHA);

/* LockdownSHA returns SHA-1 of *data with every multi-byte quantity (message
 * words, the length field, the result words) read and written least
 * significant byte first; its length field carries the bit count modulo
 * 2^32. A new 20-byte string. */
QUILLET_API ByteString QUILLET_CALL LockdownSHA(const ByteString *data)
    QUILLET_LINK_NAME(LockdownSHA);

/* MD5 returns the MD5 digest (RFC 1321) of the bytes of *data as a new
 * 32-byte string of text: two upper-case hexadecimal digits per digest byte,
 * high digit first, no terminator counted (like every string the library
 * makes, two zero bytes follow the content). */
QUILLET_API ByteString QUILLET_CALL MD5(const ByteString *data) QUILLET_LINK_NAME(MD5);

/* DoubleHashPassword returns a 20-byte proof of a password: BrokenSHA over
 * the 28 bytes made of *firstToken and *secondToken (each least significant
 * byte first) followed by BrokenSHA of *password. The tokens are read once as
 * 32-bit patterns: signed and unsigned values with the same bits give the
 * same proof. Nothing derived from the password is left in memory the call
 * released. */
QUILLET_API ByteString QUILLET_CALL DoubleHashPassword(const ByteString *password,
                                                       const int32_t *firstToken,
                                                       const int32_t *secondToken)
    QUILLET_LINK_NAME(DoubleHashPassword);

#if !defined(_WIN32)
/* SysAllocStringByteLen returns a new string of `length` bytes, copied from
 * `source` or zero-filled when `source` is null, followed by two zero bytes
 * that are not counted. A length of 0 gives a valid, non-null empty string.
 * Returns null when memory is short. Release it with SysFreeString. */
QUILLET_API ByteString SysAllocStringByteLen(const char *source,
                                             unsigned int length)
    QUILLET_LINK_NAME(SysAllocStringByteLen);

/* SysFreeString releases a string made by SysAllocStringByteLen or returned
 * by any function of this library. A null handle is ignored. */
QUILLET_API void SysFreeString(ByteString string) QUILLET_LINK_NAME(SysFreeString);

/* SysStringByteLen returns the byte count of `string`; 0 for null. */
QUILLET_API unsigned int SysStringByteLen(ByteString string)
    QUILLET_LINK_NAME(SysStringByteLen);
#endif

#ifdef __cplusplus
} /* extern "C" */
#endif


#endif /* QUILLET_QUILLET_H_ */
