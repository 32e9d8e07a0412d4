// Where libquillet is: QUILLET_LIB_DIR (a build tree's src directory, say),
// else pkg-config's quillet.pc, else the linker's own search path.
use std::env;
use std::process::Command;

fn main() {
    println!("cargo:rerun-if-env-changed=QUILLET_LIB_DIR");
    println!("cargo:rerun-if-env-changed=PKG_CONFIG_PATH");
    let mut dirs: Vec<String> = Vec::new();
    if let Some(dir) = env::var_os("QUILLET_LIB_DIR") {
        dirs.push(dir.to_string_lossy().into_owned());
    } else if let Ok(out) = Command::new("pkg-config").args(["--libs-only-L", "quillet"]).output() {
        if out.status.success() {
            let text = String::from_utf8_lossy(&out.stdout).into_owned();
            dirs.extend(
                text.split_whitespace().filter_map(|f| f.strip_prefix("-L")).map(String::from),
            );
        }
    }
    for dir in &dirs {
        println!("cargo:rustc-link-search=native={dir}");
        // Tests, examples and programs find the library where it was linked.
        if env::var("CARGO_CFG_TARGET_OS").as_deref() != Ok("windows") {
            println!("cargo:rustc-link-arg=-Wl,-rpath,{dir}");
        }
    }
    println!("cargo:rustc-link-lib=dylib=quillet");
}
