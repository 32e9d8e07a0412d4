use std::io::Write;

use quillet::{BrokenSha1, Md5, Sha1};

fn main() -> Result<(), Box<dyn std::error::Error>> {
    let hex = |d: &[u8]| d.iter().map(|b| format!("{b:02x}")).collect::<String>();
    println!("{}", hex(&Sha1::digest(b"abc")));
    let mut h = BrokenSha1::new(); // streaming, with Clone and io::Write
    h.update(b"a");
    h.write_all(b"bc")?;
    println!("{}", hex(&h.finalize_reset()));
    println!("{}", hex(&Md5::digest(b"abc")));
    println!("{}", quillet::md5_upper_hex(b"abc")?); // the export's text
    let proof = quillet::double_hash_password(b"password", 0x12345678, 0xDEADBEEF)?;
    println!("{}", hex(&proof));
    Ok(())
}
