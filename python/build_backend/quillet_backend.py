"""A PEP 517 backend over setuptools alone: `setup.py build` builds the
package, and the wheel is zipped here (setuptools before 70 needs the
separate `wheel` package for that, which a machine without a network may not
have)."""

import base64
import hashlib
import os
import subprocess
import sys
import sysconfig
import tempfile
import zipfile

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def _version():
    return subprocess.run([sys.executable, "setup.py", "--version"], cwd=HERE, check=True,
                          capture_output=True, text=True).stdout.strip().splitlines()[-1]


def _tag():
    python = f"cp{sys.version_info.major}{sys.version_info.minor}"
    abi = python + getattr(sys, "abiflags", "")
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    return f"{python}-{abi}-{platform}"


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def _record_line(path, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{path},sha256={digest},{len(data)}"


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    version = _version()
    with tempfile.TemporaryDirectory() as scratch:
        subprocess.run([sys.executable, "setup.py", "build", "--build-base", scratch,
                        "--build-lib", os.path.join(scratch, "lib")],
                       cwd=HERE, check=True, stdout=sys.stderr)
        tag = _tag()
        name = f"quillet-{version}-{tag}.whl"
        dist_info = f"quillet-{version}.dist-info"
        with open(os.path.join(HERE, "README.md"), encoding="utf-8") as f:
            readme = f.read()
        files = {}
        lib = os.path.join(scratch, "lib")
        for directory, _, names in os.walk(lib):
            for file_name in names:
                path = os.path.join(directory, file_name)
                with open(path, "rb") as f:
                    files[os.path.relpath(path, lib).replace(os.sep, "/")] = f.read()
        files[f"{dist_info}/METADATA"] = (
            "Metadata-Version: 2.1\nName: quillet\n"
            f"Version: {version}\nSummary: Quillet's digests for Python\n"
            "License: MIT\nRequires-Python: >=3.9\n"
            "Description-Content-Type: text/markdown\n\n" + readme).encode()
        files[f"{dist_info}/WHEEL"] = (
            "Wheel-Version: 1.0\nGenerator: quillet_backend\nRoot-Is-Purelib: false\n"
            f"Tag: {tag}\n").encode()
        record = [_record_line(path, data) for path, data in files.items()]
        record.append(f"{dist_info}/RECORD,,")
        files[f"{dist_info}/RECORD"] = ("\n".join(record) + "\n").encode()
        target = os.path.join(wheel_directory, name)
        with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as wheel:
            for path, data in files.items():
                wheel.writestr(path, data)
    return name


def build_sdist(sdist_directory, config_settings=None):
    # The package compiles the library's sources from the project's tree
    # (../src, ../include), so it is built from that tree, not from an sdist.
    raise RuntimeError("quillet is built from the project's tree: pip install ./python")
