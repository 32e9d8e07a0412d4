package quillet

import (
	"bufio"
	"bytes"
	"crypto/md5"
	"crypto/sha1"
	"encoding/hex"
	"fmt"
	"hash"
	"os"
	"strconv"
	"strings"
	"testing"
	"unsafe"
)

// One line of a known-answer file: DIGEST MESSAGE [FIRST SECOND] EXPECTED.
type answer struct {
	line          string
	name          string
	message       []byte
	first, second uint32
	expected      string // lower-case hex; MD5's as the export's upper-case text
}

// message reads a MESSAGE field at the start of s ("text" with \xNN, \\ and
// \" escapes, "text"*COUNT, bytes(0..255), pattern(LENGTH,SEED)) and
// returns it with the rest of s.
func message(s string) ([]byte, string, error) {
	switch {
	case strings.HasPrefix(s, "bytes(0..255)"):
		m := make([]byte, 256)
		for i := range m {
			m[i] = byte(i)
		}
		return m, s[len("bytes(0..255)"):], nil
	case strings.HasPrefix(s, "pattern("):
		end := strings.IndexByte(s, ')')
		var length, seed int
		if _, err := fmt.Sscanf(s[:end+1], "pattern(%d,%d)", &length, &seed); err != nil {
			return nil, "", err
		}
		m := make([]byte, length)
		for i := range m {
			m[i] = byte(i*131 + seed*7 + i>>8)
		}
		return m, s[end+1:], nil
	case strings.HasPrefix(s, `"`):
		var m []byte
		i := 1
		for ; i < len(s) && s[i] != '"'; i++ {
			if s[i] != '\\' {
				m = append(m, s[i])
				continue
			}
			i++
			if i < len(s) && s[i] == 'x' && i+2 < len(s) {
				v, err := strconv.ParseUint(s[i+1:i+3], 16, 8)
				if err != nil {
					return nil, "", err
				}
				m = append(m, byte(v))
				i += 2
			} else if i < len(s) {
				m = append(m, s[i])
			}
		}
		if i == len(s) {
			return nil, "", fmt.Errorf("unterminated text")
		}
		rest := s[i+1:]
		if strings.HasPrefix(rest, "*") {
			count := strings.Fields(rest[1:])[0]
			n, err := strconv.Atoi(count)
			if err != nil {
				return nil, "", err
			}
			m = bytes.Repeat(m, n)
			rest = rest[1+len(count):]
		}
		return m, rest, nil
	}
	return nil, "", fmt.Errorf("no message")
}

func readAnswers(t *testing.T, path string) []answer {
	t.Helper()
	f, err := os.Open(path)
	if err != nil {
		t.Fatal(err)
	}
	defer f.Close()
	var answers []answer
	lines := bufio.NewScanner(f)
	for lines.Scan() {
		line := lines.Text()
		if strings.TrimSpace(line) == "" || strings.HasPrefix(line, "#") {
			continue
		}
		name, rest, _ := strings.Cut(line, " ")
		m, rest, err := message(rest)
		if err != nil {
			t.Fatalf("%s: %v", line, err)
		}
		a := answer{line: line, name: name, message: m}
		fields := strings.Fields(rest)
		if name == "DoubleHashPassword" && len(fields) == 3 {
			first, err1 := strconv.ParseUint(fields[0], 0, 32)
			second, err2 := strconv.ParseUint(fields[1], 0, 32)
			if err1 != nil || err2 != nil {
				t.Fatalf("%s: bad tokens", line)
			}
			a.first, a.second, fields = uint32(first), uint32(second), fields[2:]
		}
		if len(fields) != 1 {
			t.Fatalf("%s: cannot read the line", line)
		}
		a.expected = fields[0]
		answers = append(answers, a)
	}
	if err := lines.Err(); err != nil {
		t.Fatal(err)
	}
	if len(answers) == 0 {
		t.Fatalf("%s: no answers", path)
	}
	return answers
}

// The hashers and one-shots by the known-answer files' names.
var algorithms = []struct {
	name    string
	newHash func() hash.Hash
	sum     func([]byte) []byte
}{
	{"StandardSHA", NewSHA1, func(m []byte) []byte { s := Sum1(m); return s[:] }},
	{"BrokenSHA", NewBroken, func(m []byte) []byte { s := SumBroken(m); return s[:] }},
	{"LockdownSHA", NewLockdown, func(m []byte) []byte { s := SumLockdown(m); return s[:] }},
	{"MD5", NewMD5, func(m []byte) []byte { s := SumMD5(m); return s[:] }},
}

// expectedText is the digest as the answer files write it.
func expectedText(name string, digest []byte) string {
	if name == "MD5" {
		return strings.ToUpper(hex.EncodeToString(digest))
	}
	return hex.EncodeToString(digest)
}

// check compares every answer with the one-shot, the hasher given the
// whole message, and the hasher given it in pieces with a Sum between them.
func check(t *testing.T, answers []answer) {
	for _, a := range answers {
		if a.name == "DoubleHashPassword" {
			proof, err := DoubleHashPassword(a.message, a.first, a.second)
			if err != nil || hex.EncodeToString(proof[:]) != a.expected {
				t.Errorf("%s: got %x, %v", a.line, proof, err)
			}
			continue
		}
		found := false
		for _, alg := range algorithms {
			if alg.name != a.name {
				continue
			}
			found = true
			if got := expectedText(a.name, alg.sum(a.message)); got != a.expected {
				t.Errorf("%s: one-shot gives %s", a.line, got)
			}
			h := alg.newHash()
			h.Write(a.message)
			if got := expectedText(a.name, h.Sum(nil)); got != a.expected {
				t.Errorf("%s: hasher gives %s", a.line, got)
			}
			for _, split := range []int{1, 55, 63, 64, 65, len(a.message) / 2} {
				if split > len(a.message) {
					continue
				}
				h.Reset()
				h.Write(a.message[:split])
				h.Sum(nil)
				h.Write(a.message[split:])
				if got := expectedText(a.name, h.Sum(nil)); got != a.expected {
					t.Errorf("%s: split at %d gives %s", a.line, split, got)
				}
			}
		}
		if !found {
			t.Fatalf("%s: no such digest", a.line)
		}
	}
}

func TestKnownAnswers(t *testing.T) {
	path := os.Getenv("QUILLET_KNOWN_ANSWERS")
	if path == "" {
		path = "../../tests/vectors/known_answers.txt"
	}
	check(t, readAnswers(t, path))
}

// The plain model's answers that the CMake build writes (tests/model_answers.txt
// in the build tree), for every algorithm and the password proof.
func TestModelAnswers(t *testing.T) {
	path := os.Getenv("QUILLET_MODEL_ANSWERS")
	if path == "" {
		t.Skip("QUILLET_MODEL_ANSWERS not set")
	}
	check(t, readAnswers(t, path))
}

func TestHashInterface(t *testing.T) {
	message := bytes.Repeat([]byte("0123456789"), 30)
	for _, alg := range algorithms {
		t.Run(alg.name, func(t *testing.T) {
			want := alg.sum(message)
			h := alg.newHash()
			if h.Size() != len(want) || h.BlockSize() != 64 {
				t.Errorf("Size %d, BlockSize %d", h.Size(), h.BlockSize())
			}
			// Byte by byte, with nil and empty writes among them.
			for i := range message {
				if n, err := h.Write(message[i : i+1]); n != 1 || err != nil {
					t.Fatalf("Write gives %d, %v", n, err)
				}
				if n, err := h.Write(nil); n != 0 || err != nil {
					t.Fatalf("Write(nil) gives %d, %v", n, err)
				}
				h.Write([]byte{})
			}
			// Sum appends, and twice gives the same.
			prefix := []byte("prefix")
			got := h.Sum(prefix)
			if !bytes.Equal(got[:len(prefix)], []byte("prefix")) || !bytes.Equal(got[len(prefix):], want) {
				t.Errorf("Sum(prefix) gives %x", got)
			}
			if again := h.Sum(nil); !bytes.Equal(again, want) {
				t.Errorf("a second Sum gives %x", again)
			}
			// Reset, then the hasher is as new: for the empty message and
			// for a new one.
			h.Reset()
			if got, empty := h.Sum(nil), alg.sum(nil); !bytes.Equal(got, empty) {
				t.Errorf("after Reset, Sum gives %x, not %x", got, empty)
			}
			h.Write([]byte("abc"))
			if got := h.Sum(nil); !bytes.Equal(got, alg.sum([]byte("abc"))) {
				t.Errorf("after Reset, abc gives %x", got)
			}
			// Two hashers are independent.
			other := alg.newHash()
			other.Write(message)
			if got := h.Sum(nil); !bytes.Equal(got, alg.sum([]byte("abc"))) {
				t.Errorf("another hasher changed this one: %x", got)
			}
		})
	}
}

// The standard library's SHA-1 and MD5 agree on messages of every length
// around the block boundaries, one-shot and streamed.
func TestAgainstStandardLibrary(t *testing.T) {
	message := make([]byte, 300)
	for i := range message {
		message[i] = byte(i*7 + 3)
	}
	for n := 0; n <= len(message); n++ {
		if s, q := sha1.Sum(message[:n]), Sum1(message[:n]); s != q {
			t.Errorf("SHA-1 of %d bytes: %x, crypto/sha1 %x", n, q, s)
		}
		if s, q := md5.Sum(message[:n]), SumMD5(message[:n]); s != q {
			t.Errorf("MD5 of %d bytes: %x, crypto/md5 %x", n, q, s)
		}
	}
}

// Hashers dropped without a call are released by the collector: many of
// them, then the live ones still give right answers.
func TestManyHashers(t *testing.T) {
	want := Sum1([]byte("abc"))
	for i := 0; i < 20000; i++ {
		h := NewSHA1()
		h.Write([]byte("abc"))
		if i%1000 == 0 {
			if got := h.Sum(nil); !bytes.Equal(got, want[:]) {
				t.Fatalf("hasher %d gives %x", i, got)
			}
		}
	}
}

func TestPasswordProof(t *testing.T) {
	// Tokens are 32-bit patterns: an int32 and a uint32 with the same bits
	// give the same proof, and different tokens a different one.
	minus1 := int32(-1)
	a, err1 := DoubleHashPassword([]byte("secret"), uint32(minus1), 7)
	b, err2 := DoubleHashPassword([]byte("secret"), 0xFFFFFFFF, 7)
	c, err3 := DoubleHashPassword([]byte("secret"), 7, 0xFFFFFFFF)
	if err1 != nil || err2 != nil || err3 != nil || a != b || a == c {
		t.Errorf("%x %x %x: %v %v %v", a, b, c, err1, err2, err3)
	}
	// nil and empty are the same password.
	n, err1 := DoubleHashPassword(nil, 1, 2)
	e, err2 := DoubleHashPassword([]byte{}, 1, 2)
	if err1 != nil || err2 != nil || n != e {
		t.Errorf("nil %x, empty %x: %v %v", n, e, err1, err2)
	}
	// A password one byte past the library's 4 GiB - 1 is refused before it
	// is read: a slice that claims 4 GiB over 16 real bytes (a length cut to
	// 32 bits would read none of them).
	if unsafe.Sizeof(uintptr(0)) == 8 {
		real := make([]byte, 16)
		huge := unsafe.Slice(&real[0], uint64(1)<<32)
		if _, err := DoubleHashPassword(huge, 1, 2); err != ErrTooLarge {
			t.Errorf("a 4 GiB password gives %v", err)
		}
	}
}

func TestVersion(t *testing.T) {
	if v := Version(); strings.Count(v, ".") != 3 {
		t.Errorf("Version() = %q", v)
	}
}

var sink []byte

func benchmark(b *testing.B, size int, sums map[string]func([]byte) []byte) {
	data := make([]byte, size)
	for _, name := range []string{"quillet", "stdlib"} {
		sum := sums[name]
		b.Run(name, func(b *testing.B) {
			b.SetBytes(int64(size))
			for i := 0; i < b.N; i++ {
				sink = sum(data)
			}
		})
	}
}

var sha1Sums = map[string]func([]byte) []byte{
	"quillet": func(m []byte) []byte { s := Sum1(m); return s[:] },
	"stdlib":  func(m []byte) []byte { s := sha1.Sum(m); return s[:] },
}

var md5Sums = map[string]func([]byte) []byte{
	"quillet": func(m []byte) []byte { s := SumMD5(m); return s[:] },
	"stdlib":  func(m []byte) []byte { s := md5.Sum(m); return s[:] },
}

func BenchmarkSHA1_3B(b *testing.B)   { benchmark(b, 3, sha1Sums) }
func BenchmarkSHA1_1MiB(b *testing.B) { benchmark(b, 1<<20, sha1Sums) }
func BenchmarkMD5_3B(b *testing.B)    { benchmark(b, 3, md5Sums) }
func BenchmarkMD5_1MiB(b *testing.B)  { benchmark(b, 1<<20, md5Sums) }

// The streaming path: a hasher reset, written and summed per message.
func BenchmarkSHA1Hasher_3B(b *testing.B) {
	h, data, out := NewSHA1(), []byte("abc"), make([]byte, 0, Size)
	for i := 0; i < b.N; i++ {
		h.Reset()
		h.Write(data)
		sink = h.Sum(out[:0])
	}
}
