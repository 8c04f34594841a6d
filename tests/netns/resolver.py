#!/usr/bin/env python3
"""A name server for the test LAN that behaves like one of two desks.

    resolver.py --mode nxdomain|silent [--address 127.0.0.53]

nxdomain: every query is answered at once with "no such name" (NXDOMAIN), as
          the resolver of an ordinary desk answers for an unknown host.
silent:   queries are read and never answered, so a lookup hangs until the
          client's own time-out, as in a root without a reachable resolver.

It listens on UDP port 53 of a loopback address inside the namespace it is
started in, prints "ready" once bound, and runs until it is killed. Nothing
it sends leaves that namespace.
"""
import argparse
import socket
import struct
import sys

MAX_QUERY = 512


def nxdomain_reply(query: bytes) -> bytes:
    # Header: same id; QR=1, opcode and RD copied, RA=1, RCODE=3; the
    # question section copied back, no answers.
    if len(query) < 12:
        return b""
    ident, flags, qdcount = struct.unpack("!HHH", query[:6])
    if flags & 0x8000:
        return b""  # a response, not a query
    opcode_rd = flags & 0x7900
    reply_flags = 0x8000 | opcode_rd | 0x0080 | 3
    return struct.pack("!HHHHHH", ident, reply_flags, qdcount, 0, 0, 0) + query[12:]


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--mode", choices=("nxdomain", "silent"), required=True)
    parser.add_argument("--address", default="127.0.0.53")
    args = parser.parse_args()
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((args.address, 53))
    print("ready", flush=True)
    while True:
        query, peer = sock.recvfrom(MAX_QUERY)
        if args.mode == "nxdomain":
            reply = nxdomain_reply(query)
            if reply:
                sock.sendto(reply, peer)
    return 0


if __name__ == "__main__":
    sys.exit(main())
