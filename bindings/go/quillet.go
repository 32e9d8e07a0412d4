// Package quillet gives Quillet's digests as hash.Hash values and one-shot
// functions, over the library's streaming C interface (quillet/stream.h in
// libquillet.so):
//
//	NewSHA1      SHA-1 (FIPS 180-1), 20 bytes
//	NewBroken    the BrokenSHA variant, 20 bytes
//	NewLockdown  the LockdownSHA variant, 20 bytes
//	NewMD5       MD5 (RFC 1321) as 16 raw bytes
//
// and Sum1, SumBroken, SumLockdown and SumMD5 for one message at once, as
// crypto/sha1's Sum, and DoubleHashPassword, the exports' password proof.
//
// The package is built with cgo against an installed library; its header
// and library are found as the C compiler finds them, or as pkg-config
// gives them:
//
//	CGO_CFLAGS="$(pkg-config --cflags quillet)" \
//	CGO_LDFLAGS="$(pkg-config --libs quillet)" go build
//
// A hasher's state lives in memory the C allocator gave it, never in Go
// memory, and is wiped and released when the hasher is no longer reachable.
// As with the standard library's hashes, one hasher is used by one
// goroutine at a time.
package quillet

/*
#cgo LDFLAGS: -lquillet
#include <stdint.h>
#include <stdlib.h>
#include <quillet/quillet.h>
#include <quillet/stream.h>

// The password proof through the export, with the library's counted string
// made from the caller's bytes and wiped before it is released. Returns 0,
// or 1 when memory is short.
static int quillet_go_password_proof(const void *password, uint32_t size, int32_t first,
                                     int32_t second, unsigned char *out) {
	ByteString copy = SysAllocStringByteLen((const char *)password, size);
	if (copy == NULL) return 1;
	ByteString proof = DoubleHashPassword(&copy, &first, &second);
	volatile unsigned char *wipe = copy;
	for (uint32_t i = 0; i < size; i++) wipe[i] = 0;
	SysFreeString(copy);
	if (proof == NULL) return 1;
	for (int i = 0; i < 20; i++) out[i] = proof[i];
	SysFreeString(proof);
	return 0;
}
*/
import "C"

import (
	"errors"
	"hash"
	"math"
	"runtime"
	"unsafe"
)

// The digests' sizes in bytes, and the block size of all four.
const (
	Size      = 20 // SHA-1 and its variants
	SizeMD5   = 16
	BlockSize = 64
)

// ErrTooLarge is returned for a password longer than the library's counted
// strings can hold (4 GiB - 1 bytes).
var ErrTooLarge = errors.New("quillet: password too large")

// ErrOutOfMemory is returned when the library could not allocate.
var ErrOutOfMemory = errors.New("quillet: out of memory")

// Version is the library's version, as quillet_version gives it.
func Version() string { return C.GoString(C.quillet_version()) }

// digest is a hash.Hash over two states in one C allocation: the running
// one, and a scratch one that Sum copies it into and finishes, so that Sum
// leaves the running state as it was.
type digest struct {
	algorithm C.uint32_t
	size      int
	states    unsafe.Pointer // 2 * stateSize bytes from C.malloc
}

var stateSize = C.quillet_state_size()

func newDigest(algorithm C.uint32_t, size int) *digest {
	d := &digest{algorithm: algorithm, size: size}
	d.states = C.malloc(C.size_t(2 * stateSize))
	if d.states == nil {
		panic(ErrOutOfMemory)
	}
	must(C.quillet_state_init(d.states, stateSize, algorithm))
	// The scratch state is made a state too, so that clear finds one.
	must(C.quillet_state_init(d.scratch(), stateSize, algorithm))
	runtime.SetFinalizer(d, (*digest).release)
	return d
}

func (d *digest) scratch() unsafe.Pointer { return unsafe.Add(d.states, stateSize) }

func (d *digest) release() {
	C.quillet_state_clear(d.states, 2*stateSize)
	C.free(d.states)
	d.states = nil
}

// must panics on a status other than QUILLET_OK: the calls it guards fail
// only on a fault in this package.
func must(status C.quillet_status) {
	if status != C.QUILLET_OK {
		panic("quillet: " + C.GoString(C.quillet_status_text(status)))
	}
}

// NewSHA1 returns a hash.Hash computing SHA-1.
func NewSHA1() hash.Hash { return newDigest(C.QUILLET_STANDARD_SHA, Size) }

// NewBroken returns a hash.Hash computing the BrokenSHA variant: its message
// is filled with zero bytes to whole 64-byte blocks, so trailing zero bytes
// within the last block do not change the digest.
func NewBroken() hash.Hash { return newDigest(C.QUILLET_BROKEN_SHA, Size) }

// NewLockdown returns a hash.Hash computing the LockdownSHA variant.
func NewLockdown() hash.Hash { return newDigest(C.QUILLET_LOCKDOWN_SHA, Size) }

// NewMD5 returns a hash.Hash computing MD5, 16 raw bytes.
func NewMD5() hash.Hash { return newDigest(C.QUILLET_MD5, SizeMD5) }

func (d *digest) Size() int      { return d.size }
func (d *digest) BlockSize() int { return BlockSize }

// Write adds p to the running hash. It never returns an error.
func (d *digest) Write(p []byte) (int, error) {
	if len(p) > 0 {
		must(C.quillet_state_update(d.states, unsafe.Pointer(&p[0]), C.uint64_t(len(p))))
	}
	runtime.KeepAlive(d)
	return len(p), nil
}

// Sum appends the digest of everything written so far to b; the running
// hash goes on unchanged.
func (d *digest) Sum(b []byte) []byte {
	var out [C.QUILLET_MAX_DIGEST_SIZE]byte
	must(C.quillet_state_copy(d.states, d.scratch(), stateSize))
	must(C.quillet_state_finish(d.scratch(), unsafe.Pointer(&out[0]), C.uint64_t(len(out))))
	runtime.KeepAlive(d)
	return append(b, out[:d.size]...)
}

// Reset starts a new message.
func (d *digest) Reset() {
	must(C.quillet_state_reset(d.states))
	runtime.KeepAlive(d)
}

// oneShot writes the digest of data into out.
func oneShot(algorithm C.uint32_t, data []byte, out []byte) {
	var p unsafe.Pointer
	if len(data) > 0 {
		p = unsafe.Pointer(&data[0])
	}
	must(C.quillet_digest(algorithm, p, C.uint64_t(len(data)), unsafe.Pointer(&out[0]),
		C.uint64_t(len(out))))
}

// Sum1 returns the SHA-1 digest of data.
func Sum1(data []byte) (sum [Size]byte) {
	oneShot(C.QUILLET_STANDARD_SHA, data, sum[:])
	return
}

// SumBroken returns the BrokenSHA digest of data.
func SumBroken(data []byte) (sum [Size]byte) {
	oneShot(C.QUILLET_BROKEN_SHA, data, sum[:])
	return
}

// SumLockdown returns the LockdownSHA digest of data.
func SumLockdown(data []byte) (sum [Size]byte) {
	oneShot(C.QUILLET_LOCKDOWN_SHA, data, sum[:])
	return
}

// SumMD5 returns the MD5 digest of data.
func SumMD5(data []byte) (sum [SizeMD5]byte) {
	oneShot(C.QUILLET_MD5, data, sum[:])
	return
}

// DoubleHashPassword returns the exports' 20-byte proof of a password:
// BrokenSHA over the two tokens (each least significant byte first) and
// BrokenSHA of the password. A token given as int32 converts with uint32(t):
// the same bits give the same proof. The library's copy of the password is
// wiped before it is released; password itself is the caller's to wipe.
func DoubleHashPassword(password []byte, first, second uint32) (proof [Size]byte, err error) {
	if uint64(len(password)) > math.MaxUint32 {
		return proof, ErrTooLarge
	}
	var p unsafe.Pointer
	if len(password) > 0 {
		p = unsafe.Pointer(&password[0])
	}
	if C.quillet_go_password_proof(p, C.uint32_t(len(password)), C.int32_t(int32(first)),
		C.int32_t(int32(second)), (*C.uchar)(unsafe.Pointer(&proof[0]))) != 0 {
		return proof, ErrOutOfMemory
	}
	return proof, nil
}
