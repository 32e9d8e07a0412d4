package quillet_test

import (
	"fmt"
	"io"

	"quillet.example/quillet"
)

func Example() {
	// A hash.Hash, as crypto/sha1's: written in pieces, summed at any point.
	h := quillet.NewSHA1()
	io.WriteString(h, "ab")
	io.WriteString(h, "c")
	fmt.Printf("%x\n", h.Sum(nil))

	// One message at once.
	fmt.Printf("%x\n", quillet.SumMD5([]byte("abc")))
	fmt.Printf("%x\n", quillet.SumBroken([]byte("abc")))

	proof, err := quillet.DoubleHashPassword([]byte("password"), 0x01234567, 0x89abcdef)
	if err != nil {
		panic(err)
	}
	fmt.Printf("%x\n", proof)
	// Output:
	// a9993e364706816aba3e25717850c26c9cd0d89d
	// 900150983cd24fb0d6963f7d28e17f72
	// 7a7af57b99e91bcce6dc75f981fe2255d6c878ab
	// 55bf14a1c1c4e8ea20ef64c223c272662fcacb25
}
