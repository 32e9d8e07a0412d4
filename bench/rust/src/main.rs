//! The crate's one-shots (`Sha1::digest`, `Md5::digest`, over the streaming
//! interface) beside RustCrypto's `sha1` and `md-5` at 3 B (ns a call) and
//! 1 MiB (MB/s). Each round times every contender once, in turn; the best of
//! the rounds is printed.
//!
//! ```sh
//! cd bench/rust && QUILLET_LIB_DIR=$PWD/../../build/release/src \
//!   CARGO_TARGET_DIR=$PWD/../../build/release/rust-bench cargo run --release [-- ROUNDS]
//! ```
use std::hint::black_box;
use std::time::Instant;

use md5::Digest as _;

type Contender<'a> = (&'static str, Box<dyn Fn() + 'a>);

fn best(contenders: &[Contender], calls: u32, rounds: u32) -> Vec<f64> {
    let mut best = vec![f64::MAX; contenders.len()];
    for _ in 0..rounds {
        for (i, (_, call)) in contenders.iter().enumerate() {
            let start = Instant::now();
            for _ in 0..calls {
                call();
            }
            let ns = start.elapsed().as_nanos() as f64 / f64::from(calls);
            best[i] = best[i].min(ns);
        }
    }
    best
}

fn main() {
    let rounds = std::env::args()
        .nth(1)
        .map_or(15, |r| r.parse().expect("a number of rounds"));
    println!("{rounds} rounds");
    for size in [3usize, 1 << 20] {
        let data: Vec<u8> = (0..size).map(|i| (i * 7) as u8).collect();
        let data = &data[..];
        let contenders: Vec<Contender> = vec![
            (
                "quillet::Sha1::digest",
                Box::new(move || {
                    black_box(quillet::Sha1::digest(black_box(data)));
                }),
            ),
            (
                "sha1::Sha1::digest",
                Box::new(move || {
                    black_box(sha1::Sha1::digest(black_box(data)));
                }),
            ),
            (
                "quillet::Md5::digest",
                Box::new(move || {
                    black_box(quillet::Md5::digest(black_box(data)));
                }),
            ),
            (
                "md5::Md5::digest",
                Box::new(move || {
                    black_box(md5::Md5::digest(black_box(data)));
                }),
            ),
        ];
        best(&contenders, 2, 1);
        let times = best(&contenders, if size < 4096 { 200_000 } else { 20 }, rounds);
        for ((name, _), ns) in contenders.iter().zip(times) {
            if size < 4096 {
                println!("{name:<24} {size:>8} B  {ns:>8.0} ns");
            } else {
                println!(
                    "{name:<24} {size:>8} B  {:>8.0} MB/s",
                    size as f64 * 1e3 / ns
                );
            }
        }
    }
}
