#!/usr/bin/env python3
"""The quillet package beside hashlib, in one process: one-shot calls at
3 B, 64 B, 1 KiB and 1 MiB, and digest_many() on 4096 messages of 1 KiB
beside a loop of hashlib calls over them, best of several repetitions,
printed as ratios (hashlib's time / quillet's; above 1 is faster).

    python bench/python_bench.py     (with the package installed)"""

import hashlib
import timeit

import quillet

SIZES = [3, 64, 1024, 1 << 20]


def best(statement, number):
    return min(timeit.repeat(statement, number=number, repeat=7)) / number


rows = []
for size in SIZES:
    data = bytes(i * 131 % 256 for i in range(size))
    number = 200000 if size <= 1024 else 200
    peers = {
        "sha1": lambda: hashlib.sha1(data).digest(),
        "md5": lambda: hashlib.md5(data).digest(),
    }
    ours = {
        "sha1": (lambda: quillet.sha1(data).digest(), "sha1"),
        "StandardSHA": (lambda: quillet.StandardSHA(data), "sha1"),
        "broken_sha": (lambda: quillet.broken_sha(data).digest(), "sha1"),
        "lockdown_sha": (lambda: quillet.lockdown_sha(data).digest(), "sha1"),
        "md5": (lambda: quillet.md5(data).digest(), "md5"),
    }
    peer_times = {name: best(call, number) for name, call in peers.items()}
    for name, (call, peer) in ours.items():
        rows.append((name, peer, size, peer_times[peer] / best(call, number)))

print(f"{'quillet':14} {'hashlib':8}" + "".join(f"{s:>10}" for s in SIZES))
for name in dict.fromkeys(r[0] for r in rows):
    peer = next(r[1] for r in rows if r[0] == name)
    print(f"{name:14} {peer:8}" + "".join(f"{r[3]:9.2f}x" for r in rows if r[0] == name))

# Many messages: digest_many against a loop of hashlib's one-shot calls.
messages = [bytes((i + j) * 131 % 256 for j in range(1024)) for i in range(4096)]
print(f"\n{'digest_many':14} {'hashlib':8} {'4096 x 1 KiB':>14}")
for name, peer in (("sha1", "sha1"), ("broken_sha", "sha1"), ("lockdown_sha", "sha1"),
                   ("md5", "md5")):
    reference = getattr(hashlib, peer)
    theirs = best(lambda: [reference(m).digest() for m in messages], 5)
    ours = best(lambda: quillet.digest_many(name, messages), 5)
    print(f"{name:14} {peer:8} {theirs / ours:13.2f}x")
