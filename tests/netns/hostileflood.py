#!/usr/bin/env python3
"""A hostile host on the test LAN: junk, truncated, forged and refusal
datagrams to the program's utility search port. Run inside a camera
namespace of the test LAN only (the suite does so with `ip netns exec`).

    hostileflood.py TARGET_IPV4 SECONDS
Prints one line of counts when done.
"""
import os
import random
import socket
import sys
import time

SHORT, LONG, PORT = 253, 282, 8000


def forged(length, n):
    data = bytearray(os.urandom(length))
    # A different MAC per datagram so that each is "a new camera".
    data[14:20] = bytes([0x02, 0x66]) + n.to_bytes(4, "big")
    return bytes(data)


def main():
    target, seconds = sys.argv[1], float(sys.argv[2])
    if not (target.startswith("192.0.2.") or target.startswith("198.51.100.") or target.startswith("203.0.113.")):
        sys.exit("hostileflood: documentation addresses only")
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 4 << 20)
    junk = os.urandom(60000)
    refusal = b"x" * 100 + b"Invalid ID" + b"y" * 100
    counts = {"junk": 0, "truncated": 0, "forged": 0, "refusal": 0}
    end = time.monotonic() + seconds
    n = 0
    while time.monotonic() < end:
        n += 1
        kind = n % 10
        try:
            if kind < 3:
                s.sendto(junk[:random.randint(300, 60000)], (target, PORT))
                counts["junk"] += 1
            elif kind < 5:
                s.sendto(forged(random.choice((1, 100, SHORT - 1, LONG - 1, LONG + 1)), n), (target, PORT))
                counts["truncated"] += 1
            elif kind < 9:
                s.sendto(forged(SHORT if n % 2 else LONG, n), (target, PORT))
                counts["forged"] += 1
            else:
                s.sendto(refusal, (target, PORT))
                counts["refusal"] += 1
        except OSError:
            time.sleep(0.001)
        if n % 200 == 0:
            time.sleep(0.002)
    print(" ".join(f"{k}={v}" for k, v in counts.items()), flush=True)


if __name__ == "__main__":
    main()
