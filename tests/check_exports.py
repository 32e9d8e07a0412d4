"""The shared library exports exactly the functions callers are promised."""

import subprocess
import sys

library, *expected = sys.argv[1:]
output = subprocess.run(["nm", "-D", "--defined-only", library],
                        check=True, capture_output=True, text=True).stdout
exported = sorted(line.split()[-1] for line in output.splitlines() if line.strip())
if exported != sorted(expected):
    print("exported:", exported, "\nexpected:", sorted(expected))
    sys.exit(1)
print("exports:", " ".join(exported))
