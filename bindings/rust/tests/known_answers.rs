// Every known answer (tests/vectors/known_answers.txt) and, where the build
// made them (QUILLET_MODEL_ANSWERS), the plain model's answers: one-shot,
// in pieces split every way, through io::Write, cloned half-way, and again
// on a hasher reused after finalize_reset.

use std::io::Write;
use std::path::PathBuf;

use quillet::{BrokenSha1, LockdownSha1, Md5, Sha1};

struct Answer {
    line: String,
    digest: String,
    message: Vec<u8>,
    tokens: Option<(u32, u32)>,
    expected: String,
}

fn unquote(field: &str) -> (Vec<u8>, &str) {
    let body = &field[1..];
    let mut out = Vec::new();
    let bytes = body.as_bytes();
    let mut i = 0;
    loop {
        match bytes[i] {
            b'"' => return (out, &body[i + 1..]),
            b'\\' if bytes[i + 1] == b'x' => {
                out.push(u8::from_str_radix(&body[i + 2..i + 4], 16).unwrap());
                i += 4;
            }
            b'\\' => {
                out.push(bytes[i + 1]);
                i += 2;
            }
            b => {
                out.push(b);
                i += 1;
            }
        }
    }
}

fn pattern(length: usize, seed: usize) -> Vec<u8> {
    (0..length).map(|i| ((i * 131 + seed * 7 + (i >> 8)) % 256) as u8).collect()
}

fn parse(text: &str) -> Vec<Answer> {
    let mut answers = Vec::new();
    for line in text.lines() {
        if line.is_empty() || line.starts_with('#') {
            continue;
        }
        let (digest, rest) = line.split_once(' ').unwrap();
        let (message, rest) = if rest.starts_with('"') {
            let (text, rest) = unquote(rest);
            match rest.strip_prefix('*') {
                Some(count) => {
                    let (count, rest) = count.split_once(' ').unwrap();
                    (text.repeat(count.parse().unwrap()), rest.to_string())
                }
                None => (text, rest.trim_start().to_string()),
            }
        } else {
            let (field, rest) = rest.split_once(' ').unwrap();
            let message = if field == "bytes(0..255)" {
                (0..=255u8).collect()
            } else {
                let args = field.strip_prefix("pattern(").unwrap().strip_suffix(')').unwrap();
                let (length, seed) = args.split_once(',').unwrap();
                pattern(length.parse().unwrap(), seed.parse().unwrap())
            };
            (message, rest.to_string())
        };
        let fields: Vec<&str> = rest.split_whitespace().collect();
        let token = |f: &str| u32::from_str_radix(f.strip_prefix("0x").unwrap(), 16).unwrap();
        let (tokens, expected) = match fields.as_slice() {
            [expected] => (None, expected.to_string()),
            [first, second, expected] => {
                (Some((token(first), token(second))), expected.to_string())
            }
            _ => panic!("bad line: {line}"),
        };
        answers.push(Answer {
            line: line.to_string(),
            digest: digest.to_string(),
            message,
            tokens,
            expected,
        });
    }
    answers
}

fn hex(bytes: &[u8]) -> String {
    bytes.iter().map(|b| format!("{b:02x}")).collect()
}

// One hasher type, checked every way against the expected lower-case hex.
macro_rules! check_every_way {
    ($type:ty, $m:expr, $expected:expr, $line:expr) => {{
        let (m, expected, line): (&[u8], &str, &str) = ($m, $expected, $line);
        assert_eq!(hex(&<$type>::digest(m)), expected, "one-shot: {line}");
        let mut splits = vec![0, 1, 55, 56, 63, 64, 65, m.len() / 2, m.len()];
        splits.retain(|&s| s <= m.len());
        let mut h = <$type>::new();
        for &s in &splits {
            h.update(&m[..s]);
            h.update(&m[s..]);
            assert_eq!(hex(&h.finalize_reset()), expected, "split at {s}: {line}");
        }
        // Through Write, with empty writes between the pieces.
        for piece in m.chunks(67) {
            h.write_all(&[]).unwrap();
            h.write_all(piece).unwrap();
        }
        h.flush().unwrap();
        assert_eq!(hex(&h.clone().finalize()), expected, "write: {line}");
        // A clone half-way goes on alone; the original is not changed by it.
        h.reset();
        h.update(&m[..m.len() / 2]);
        let mut copy = h.clone();
        copy.update(b"not part of the message");
        h.update(&m[m.len() / 2..]);
        drop(copy);
        assert_eq!(hex(&h.finalize()), expected, "clone: {line}");
        if m.len() <= 300 {
            let mut h = <$type>::default();
            for b in m {
                h.update([*b]);
            }
            assert_eq!(hex(&h.finalize()), expected, "byte by byte: {line}");
        }
    }};
}

fn check(answers: &[Answer]) {
    assert!(!answers.is_empty());
    for a in answers {
        let (m, line) = (a.message.as_slice(), a.line.as_str());
        match a.digest.as_str() {
            "StandardSHA" => check_every_way!(Sha1, m, &a.expected, line),
            "BrokenSHA" => check_every_way!(BrokenSha1, m, &a.expected, line),
            "LockdownSHA" => check_every_way!(LockdownSha1, m, &a.expected, line),
            "MD5" => {
                assert_eq!(quillet::md5_upper_hex(m).unwrap(), a.expected, "export: {line}");
                check_every_way!(Md5, m, &a.expected.to_lowercase(), line);
            }
            "DoubleHashPassword" => {
                let (first, second) = a.tokens.unwrap();
                let proof = quillet::double_hash_password(m, first, second).unwrap();
                assert_eq!(hex(&proof), a.expected, "{line}");
            }
            other => panic!("unknown digest {other}"),
        }
    }
}

#[test]
fn known_answers() {
    let path = std::env::var_os("QUILLET_KNOWN_ANSWERS").map(PathBuf::from).unwrap_or_else(|| {
        PathBuf::from(env!("CARGO_MANIFEST_DIR")).join("../../tests/vectors/known_answers.txt")
    });
    let answers = parse(&std::fs::read_to_string(&path).unwrap());
    for digest in ["StandardSHA", "BrokenSHA", "LockdownSHA", "MD5", "DoubleHashPassword"] {
        assert!(answers.iter().any(|a| a.digest == digest), "no answer for {digest}");
    }
    check(&answers);
}

#[test]
fn model_answers() {
    let Some(path) = std::env::var_os("QUILLET_MODEL_ANSWERS") else {
        eprintln!("QUILLET_MODEL_ANSWERS not set: the model's answers not checked");
        return;
    };
    let answers = parse(&std::fs::read_to_string(path).unwrap());
    assert!(answers.len() > 1000);
    check(&answers);
}
