#!/usr/bin/env python3
"""The site's UDP broadcast helper for the benchmark's router namespace.

Cameras that answer by broadcast reach only their own link; a site that
wants them found from elsewhere relays those broadcasts to the program, as a
router's UDP helper does. This relays every reply-sized datagram that reaches
port 8000 of the router to TARGET:8000, unchanged.

    broadcastrelay.py TARGET
"""
import socket
import sys

REPLY_SIZES = (253, 282)


def main():
    target = (sys.argv[1], 8000)
    listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4 * 1024 * 1024)
    listener.bind(("0.0.0.0", 8000))
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    print("ready", flush=True)
    while True:
        data, _ = listener.recvfrom(2048)
        if len(data) in REPLY_SIZES:
            sender.sendto(data, target)


if __name__ == "__main__":
    main()
