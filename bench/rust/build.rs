// The bench finds libquillet where it was linked (the quillet crate's own
// rpath reaches only its own tests and examples).
fn main() {
    println!("cargo:rerun-if-env-changed=QUILLET_LIB_DIR");
    if let Some(dir) = std::env::var_os("QUILLET_LIB_DIR") {
        println!("cargo:rustc-link-arg=-Wl,-rpath,{}", dir.to_string_lossy());
    }
}
