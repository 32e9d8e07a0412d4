// The crate's surface beyond the answers: reuse, empty input, many messages
// at once, the library's version, and what a hasher shows of itself.

use std::io::Write;

use quillet::{BrokenSha1, LockdownSha1, Md5, Sha1};

macro_rules! for_every_hasher {
    ($check:ident) => {
        $check!(Sha1);
        $check!(BrokenSha1);
        $check!(LockdownSha1);
        $check!(Md5);
    };
}

#[test]
fn reuse_and_empty_input() {
    macro_rules! check {
        ($t:ty) => {{
            let empty = <$t>::digest(b"");
            let abc = <$t>::digest(b"abc");
            assert_eq!(empty.len(), <$t>::OUTPUT_SIZE);
            let mut h = <$t>::default();
            // Nothing at all, then only empty pieces, then empty writes.
            assert_eq!(h.finalize_reset(), empty);
            h.update(b"");
            h.update(Vec::new());
            assert_eq!(h.finalize_reset(), empty);
            assert_eq!(h.write(b"").unwrap(), 0);
            assert_eq!(h.write(b"abc").unwrap(), 3);
            assert_eq!(h.finalize_reset(), abc);
            // Reused after finalize_reset, and after reset mid-message.
            h.update(b"ab");
            h.reset();
            assert_eq!(h.chain_update(b"a").chain_update(b"bc").finalize(), abc);
            // A state moved (as Rust moves values) goes on where it was.
            let mut boxed = Box::new(<$t>::new());
            boxed.update(b"a");
            let mut moved = *boxed;
            moved.update(b"bc");
            let mut v = vec![moved];
            assert_eq!(v.pop().unwrap().finalize(), abc);
        }};
    }
    for_every_hasher!(check);
}

#[test]
fn many_messages_match_one_at_a_time() {
    let long = vec![0x5au8; 70000];
    let messages: Vec<&[u8]> =
        vec![b"", b"abc", &long, b"a", &long[..64], &long[..65], b"x", b"yz", b"q"];
    macro_rules! check {
        ($t:ty) => {{
            let many = <$t>::digest_many(&messages);
            let one: Vec<_> = messages.iter().map(|m| <$t>::digest(m)).collect();
            assert_eq!(many, one);
            assert!(<$t>::digest_many(&[]).is_empty());
        }};
    }
    for_every_hasher!(check);
}

#[test]
fn hashers_go_to_other_threads() {
    let mut h = Sha1::new();
    h.update(b"a");
    let h = std::thread::spawn(move || h.chain_update(b"bc")).join().unwrap();
    assert_eq!(h.finalize(), Sha1::digest(b"abc"));
}

#[test]
fn version_and_debug() {
    assert_eq!(quillet::version().split('.').count(), 4);
    assert!(quillet::abi_version() >= 1);
    assert_eq!(format!("{:?}", Md5::new().chain_update(b"secret")), "Md5 { .. }");
    // The exports' one-shots agree with the hashers.
    let proof = quillet::double_hash_password(b"", 0, 0).unwrap();
    assert_eq!(proof, quillet::double_hash_password(Vec::new(), 0, 0).unwrap());
    let mut lower = String::new();
    for b in Md5::digest(b"a\0b") {
        lower.push_str(&format!("{b:02x}"));
    }
    assert_eq!(quillet::md5_upper_hex(b"a\0b").unwrap(), lower.to_uppercase());
}
