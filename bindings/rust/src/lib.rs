//! Quillet's digests over libquillet: SHA-1 ([`Sha1`]), the two SHA-1
//! variants ([`BrokenSha1`], [`LockdownSha1`]), MD5 ([`Md5`]) and the
//! password proof ([`double_hash_password`]).
//!
//! The hashers stream through the library's C interface (quillet/stream.h)
//! with their state inside the Rust value: making, cloning and dropping one
//! allocates nothing, and dropping one wipes the state.
//!
//! ```
//! use quillet::{Md5, Sha1};
//!
//! let mut h = Sha1::new();
//! h.update(b"a");
//! h.update(b"bc");
//! assert_eq!(h.finalize(), Sha1::digest(b"abc"));
//! assert_eq!(quillet::md5_upper_hex(b"abc").unwrap(), "900150983CD24FB0D6963F7D28E17F72");
//! assert_eq!(Md5::digest(b"")[0], 0xd4);
//! ```

#![deny(missing_docs)]

use std::ffi::CStr;
use std::fmt;
use std::io;
use std::os::raw::c_char;

mod ffi {
    use std::os::raw::{c_char, c_void};

    pub type Status = i32;
    pub const OK: Status = 0;
    pub const ERROR_OUT_OF_MEMORY: Status = 3;
    pub const ERROR_TOO_LARGE: Status = 6;
    /// QUILLET_STATE_SIZE of the header this crate was written against.
    pub const STATE_SIZE: usize = 160;
    pub type ByteString = *mut u8;

    extern "C" {
        pub fn quillet_version() -> *const c_char;
        pub fn quillet_abi_version() -> u32;
        pub fn quillet_status_text(status: Status) -> *const c_char;
        pub fn quillet_state_size() -> u64;
        pub fn quillet_state_init(state: *mut c_void, size: u64, algorithm: u32) -> Status;
        pub fn quillet_state_update(state: *mut c_void, data: *const c_void, size: u64) -> Status;
        pub fn quillet_state_finish(state: *mut c_void, out: *mut c_void, out_size: u64) -> Status;
        pub fn quillet_state_copy(from: *const c_void, to: *mut c_void, to_size: u64) -> Status;
        pub fn quillet_state_reset(state: *mut c_void) -> Status;
        pub fn quillet_state_clear(state: *mut c_void, size: u64) -> Status;
        pub fn quillet_digest_many(
            algorithm: u32,
            count: u64,
            messages: *const *const c_void,
            sizes: *const u64,
            digests: *mut c_void,
            digests_size: u64,
        ) -> Status;

        // The exports of quillet/quillet.h, by the library's own names on
        // ELF so that another library's MD5 is never the one called.
        #[cfg_attr(target_os = "linux", link_name = "quillet_MD5")]
        pub fn MD5(data: *const ByteString) -> ByteString;
        #[cfg_attr(target_os = "linux", link_name = "quillet_DoubleHashPassword")]
        pub fn DoubleHashPassword(
            password: *const ByteString,
            first: *const i32,
            second: *const i32,
        ) -> ByteString;
        #[cfg_attr(target_os = "linux", link_name = "quillet_SysAllocStringByteLen")]
        pub fn SysAllocStringByteLen(source: *const c_char, length: u32) -> ByteString;
        #[cfg_attr(target_os = "linux", link_name = "quillet_SysFreeString")]
        pub fn SysFreeString(string: ByteString);
        #[cfg_attr(target_os = "linux", link_name = "quillet_SysStringByteLen")]
        pub fn SysStringByteLen(string: ByteString) -> u32;
    }
}

/// A failure the library reported: its status number and text.
#[derive(Clone, Copy, PartialEq, Eq)]
pub struct Error {
    status: i32,
}

impl Error {
    /// The library's status number (quillet_status).
    pub fn status(&self) -> i32 {
        self.status
    }

    /// Whether the library ran out of memory.
    pub fn is_out_of_memory(&self) -> bool {
        self.status == ffi::ERROR_OUT_OF_MEMORY
    }

    /// The library's text for the status.
    pub fn text(&self) -> &'static str {
        text(unsafe { ffi::quillet_status_text(self.status) })
    }
}

impl fmt::Debug for Error {
    fn fmt(&self, f: &mut fmt::Formatter<'_>) -> fmt::Result {
        write!(f, "Error({}: {})", self.status, self.text())
    }
}

impl fmt::Display for Error {
    fn fmt(&self, f: &mut fmt::Formatter<'_>) -> fmt::Result {
        f.write_str(self.text())
    }
}

impl std::error::Error for Error {}

fn text(p: *const c_char) -> &'static str {
    // The library's texts are constant strings of its own.
    unsafe { CStr::from_ptr(p) }.to_str().unwrap_or("")
}

fn status(status: i32) -> Result<(), Error> {
    if status == ffi::OK {
        Ok(())
    } else {
        Err(Error { status })
    }
}

/// A call that cannot fail on a state this crate made: a failure means the
/// library is not the one the crate was written against.
fn must(what: &str, s: i32) {
    if let Err(e) = status(s) {
        panic!("quillet: {what} failed: {e}");
    }
}

/// The library's version, as "0.0.0.6".
pub fn version() -> &'static str {
    text(unsafe { ffi::quillet_version() })
}

/// The library's streaming-interface number (QUILLET_ABI_VERSION).
pub fn abi_version() -> u32 {
    unsafe { ffi::quillet_abi_version() }
}

/// Overwrites `bytes` with zeros in a way the optimiser keeps.
fn wipe(bytes: &mut [u8]) {
    for b in bytes.iter_mut() {
        unsafe { std::ptr::write_volatile(b, 0) };
    }
    std::sync::atomic::compiler_fence(std::sync::atomic::Ordering::SeqCst);
}

/// A state of the streaming interface in the caller's memory.
#[repr(C, align(16))]
struct State([u8; ffi::STATE_SIZE]);

impl State {
    fn new(algorithm: u32) -> State {
        let size = unsafe { ffi::quillet_state_size() };
        assert!(
            size <= ffi::STATE_SIZE as u64,
            "quillet: the library's state ({size} bytes) is larger than this crate's"
        );
        let mut state = State([0; ffi::STATE_SIZE]);
        must("state_init", unsafe {
            ffi::quillet_state_init(state.ptr(), ffi::STATE_SIZE as u64, algorithm)
        });
        state
    }

    fn ptr(&mut self) -> *mut std::os::raw::c_void {
        self.0.as_mut_ptr().cast()
    }

    fn update(&mut self, data: &[u8]) {
        if data.is_empty() {
            return;
        }
        must("update", unsafe {
            ffi::quillet_state_update(self.ptr(), data.as_ptr().cast(), data.len() as u64)
        });
    }

    fn finish_reset(&mut self, out: &mut [u8]) {
        must("finish", unsafe {
            ffi::quillet_state_finish(self.ptr(), out.as_mut_ptr().cast(), out.len() as u64)
        });
        self.reset();
    }

    fn reset(&mut self) {
        must("reset", unsafe { ffi::quillet_state_reset(self.ptr()) });
    }
}

impl Clone for State {
    fn clone(&self) -> State {
        let mut copy = State([0; ffi::STATE_SIZE]);
        must("state_copy", unsafe {
            ffi::quillet_state_copy(self.0.as_ptr().cast(), copy.ptr(), ffi::STATE_SIZE as u64)
        });
        copy
    }
}

impl Drop for State {
    fn drop(&mut self) {
        unsafe { ffi::quillet_state_clear(self.ptr(), ffi::STATE_SIZE as u64) };
    }
}

fn digest_many<const N: usize>(algorithm: u32, messages: &[&[u8]]) -> Vec<[u8; N]> {
    let mut out = vec![[0u8; N]; messages.len()];
    if messages.is_empty() {
        return out;
    }
    let pointers: Vec<*const std::os::raw::c_void> =
        messages.iter().map(|m| m.as_ptr().cast()).collect();
    let sizes: Vec<u64> = messages.iter().map(|m| m.len() as u64).collect();
    must("digest_many", unsafe {
        ffi::quillet_digest_many(
            algorithm,
            messages.len() as u64,
            pointers.as_ptr(),
            sizes.as_ptr(),
            out.as_mut_ptr().cast(),
            (out.len() * N) as u64,
        )
    });
    out
}

macro_rules! hasher {
    ($(#[$doc:meta])* $name:ident, $algorithm:expr, $size:expr, $label:expr) => {
        $(#[$doc])*
        #[derive(Clone)]
        pub struct $name {
            state: State,
        }

        impl $name {
            /// The digest's size in bytes.
            pub const OUTPUT_SIZE: usize = $size;

            /// A hasher at the start of a message.
            pub fn new() -> Self {
                $name { state: State::new($algorithm) }
            }

            /// Takes in the next part of the message.
            pub fn update(&mut self, data: impl AsRef<[u8]>) {
                self.state.update(data.as_ref());
            }

            /// Takes in the next part of the message, for chained calls.
            pub fn chain_update(mut self, data: impl AsRef<[u8]>) -> Self {
                self.update(data);
                self
            }

            /// The digest of everything taken in.
            pub fn finalize(mut self) -> [u8; $size] {
                self.finalize_reset()
            }

            /// The digest of everything taken in; the hasher then starts a
            /// new message.
            pub fn finalize_reset(&mut self) -> [u8; $size] {
                let mut out = [0u8; $size];
                self.state.finish_reset(&mut out);
                out
            }

            /// Starts a new message, whatever was taken in.
            pub fn reset(&mut self) {
                self.state.reset();
            }

            /// The digest of one message.
            pub fn digest(data: impl AsRef<[u8]>) -> [u8; $size] {
                let mut h = Self::new();
                h.update(data);
                h.finalize()
            }

            /// The digest of each message, several hashed side by side where
            /// the CPU can.
            pub fn digest_many(messages: &[&[u8]]) -> Vec<[u8; $size]> {
                digest_many::<$size>($algorithm, messages)
            }
        }

        impl Default for $name {
            fn default() -> Self {
                Self::new()
            }
        }

        impl fmt::Debug for $name {
            fn fmt(&self, f: &mut fmt::Formatter<'_>) -> fmt::Result {
                // The state holds the message's tail: never shown.
                f.write_str(concat!($label, " { .. }"))
            }
        }

        impl io::Write for $name {
            fn write(&mut self, buf: &[u8]) -> io::Result<usize> {
                self.update(buf);
                Ok(buf.len())
            }

            fn flush(&mut self) -> io::Result<()> {
                Ok(())
            }
        }
    };
}

hasher!(
    /// SHA-1 (FIPS 180-1): a 20-byte digest, as the export StandardSHA's.
    Sha1, 1, 20, "Sha1"
);
hasher!(
    /// The export BrokenSHA's SHA-1 variant: a 20-byte digest.
    BrokenSha1, 2, 20, "BrokenSha1"
);
hasher!(
    /// The export LockdownSHA's SHA-1 variant: a 20-byte digest.
    LockdownSha1, 3, 20, "LockdownSha1"
);
hasher!(
    /// MD5 (RFC 1321) as 16 raw bytes ([`md5_upper_hex`] gives the export's
    /// text).
    Md5, 4, 16, "Md5"
);

/// A ByteString of the library's allocator holding a copy of `data`, wiped
/// and released on drop.
struct ByteString(ffi::ByteString);

impl ByteString {
    fn from(data: &[u8]) -> Result<ByteString, Error> {
        let length =
            u32::try_from(data.len()).map_err(|_| Error { status: ffi::ERROR_TOO_LARGE })?;
        let p = unsafe { ffi::SysAllocStringByteLen(data.as_ptr().cast(), length) };
        if p.is_null() {
            return Err(Error { status: ffi::ERROR_OUT_OF_MEMORY });
        }
        Ok(ByteString(p))
    }

    /// A result of an export: null only when memory ran out.
    fn result(p: ffi::ByteString) -> Result<ByteString, Error> {
        if p.is_null() {
            Err(Error { status: ffi::ERROR_OUT_OF_MEMORY })
        } else {
            Ok(ByteString(p))
        }
    }

    fn bytes(&mut self) -> &mut [u8] {
        let length = unsafe { ffi::SysStringByteLen(self.0) } as usize;
        unsafe { std::slice::from_raw_parts_mut(self.0, length) }
    }
}

impl Drop for ByteString {
    fn drop(&mut self) {
        wipe(self.bytes());
        unsafe { ffi::SysFreeString(self.0) };
    }
}

/// The export MD5's result: the digest as 32 upper-case hexadecimal digits.
/// Fails for a message of 4 GiB or more (the exports count in 32 bits) or
/// when memory runs out.
pub fn md5_upper_hex(data: impl AsRef<[u8]>) -> Result<String, Error> {
    let input = ByteString::from(data.as_ref())?;
    let mut result = ByteString::result(unsafe { ffi::MD5(&input.0) })?;
    Ok(String::from_utf8_lossy(result.bytes()).into_owned())
}

/// The export DoubleHashPassword's 20-byte proof of `password` with the two
/// tokens (as 32-bit patterns: `-1i32 as u32` is 0xFFFFFFFF). The copy of
/// the password handed to the library is wiped. Fails for a password of
/// 4 GiB or more or when memory runs out.
pub fn double_hash_password(
    password: impl AsRef<[u8]>,
    first: u32,
    second: u32,
) -> Result<[u8; 20], Error> {
    let input = ByteString::from(password.as_ref())?;
    let (first, second) = (first as i32, second as i32);
    let mut result =
        ByteString::result(unsafe { ffi::DoubleHashPassword(&input.0, &first, &second) })?;
    let mut proof = [0u8; 20];
    let bytes = result.bytes();
    assert_eq!(bytes.len(), 20, "quillet: DoubleHashPassword gave {} bytes", bytes.len());
    proof.copy_from_slice(bytes);
    Ok(proof)
}
