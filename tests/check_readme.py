"""The README's examples are the programs under examples/, word for word,
and print what the README says they print.

    check_readme.py README BUILD_DIR [--python PYTHON] [--rust DIR] [--dotnet DIR]
                    [--windows RUNNER...]

A block of code in the README that follows a line
    <!-- example: examples/NAME -->
must equal that file; a block after the next line "Output:" is what the
program prints. C and C++ examples run as built in BUILD_DIR/examples; the
ctypes example with the build's library; a Go example (an Example function,
whose // Output: go test checks) is compared only; the package example only
with --python (an interpreter that has the package); the Rust example only
with --rust (the directory cargo built the crate's examples in); the C#
example only with --dotnet (the directory of its NAME.exe, run with mono,
beside the assembly); the Windows
example only with --windows, the command that runs a Windows program (the
rest of the arguments)."""

import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def examples(readme):
    """(path, code, expected output or None) for each marked example."""
    found = []
    pattern = re.compile(r"<!-- example: (\S+) -->\n```[a-z+]*\n(.*?)```\n(?:\nOutput:\n\n```\n(.*?)```\n)?",
                         re.S)
    for match in pattern.finditer(readme):
        found.append((match.group(1), match.group(2), match.group(3)))
    return found


def main():
    args = sys.argv[1:]
    readme_path, build = args[0], os.path.abspath(args[1])
    python = os.path.abspath(args[args.index("--python") + 1]) if "--python" in args else None
    rust = os.path.abspath(args[args.index("--rust") + 1]) if "--rust" in args else None
    dotnet = os.path.abspath(args[args.index("--dotnet") + 1]) if "--dotnet" in args else None
    windows = args[args.index("--windows") + 1:] if "--windows" in args else None
    with open(readme_path, encoding="utf-8") as f:
        readme = f.read()
    failures = checked = skipped = ran = 0
    env = dict(os.environ, LD_LIBRARY_PATH=os.path.join(build, "src"))
    for path, code, output in examples(readme):
        with open(os.path.join(ROOT, path), encoding="utf-8") as f:
            source = f.read()
        name, extension = os.path.splitext(os.path.basename(path))
        if windows is not None:
            if not name.startswith("windows_"):
                continue
            command = [*windows, os.path.join(build, "bin", f"example_{name}.exe")]
        elif name.startswith("windows_"):
            continue
        elif extension in (".c", ".cpp"):
            command = [os.path.join(build, "examples", f"example_{name}")]
        elif extension == ".rs":
            if rust is None:
                continue
            command = [os.path.join(rust, name)]
        elif extension == ".cs":
            if dotnet is None:
                continue
            command = ["mono", os.path.join(dotnet, f"{name}.exe")]
        elif extension == ".go":
            # An Example function: go test runs it and checks its // Output:.
            command = None
        elif name == "package":
            if python is None:
                continue
            command = [python, os.path.join(ROOT, path)]
        else:
            command = [sys.executable, os.path.join(ROOT, path)]
        checked += 1
        if code != source:
            print(f"FAIL  {path}: the README's code differs from the file")
            failures += 1
            continue
        if command is None:
            print(f"ok    {path} (its output is checked by go test)" if output is None else
                  f"FAIL  {path}: a Go example's output is its // Output: comment")
            failures += output is not None
            continue
        if output is None:
            print(f"ok    {path} (no output given)")
            continue
        result = subprocess.run(command, capture_output=True, text=True, env=env,
                                cwd=os.path.join(build, "bin") if windows is not None else build)
        if result.returncode == 77:
            print(f"skip  {path}: {result.stdout.strip()}")
            skipped += 1
            continue
        ran += 1
        if result.returncode != 0 or result.stdout != output:
            print(f"FAIL  {path}: exit {result.returncode}, printed\n{result.stdout}{result.stderr}"
                  f"instead of\n{output}")
            failures += 1
        else:
            print(f"ok    {path}")
    if checked == 0:
        print("FAIL  no example found")
        return 1
    print(f"{checked} examples, {failures} failed, {skipped} not run")
    if failures:
        return 1
    # An example that could not be run is not one that passed: when none of
    # the programs ran, the test says it was skipped.
    return 77 if skipped and not ran else 0


if __name__ == "__main__":
    sys.exit(main())
