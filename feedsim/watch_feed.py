#!/usr/bin/env python3
"""Logs into a Kestrune server (kestrune-feedsim by default on 127.0.0.1:7405) and prints
every packet it sends, with record bodies decoded. Usage: watch_feed.py [host] [port] [user]
[password]. Stop with Ctrl-C."""
import socket
import struct
import sys

NAMES = {2: "DISCONNECT", 3: "PING", 6: "LOGIN", 7: "BAD_USER", 8: "SESSION_START",
         9: "SESSION_DATE", 10: "ACCOUNT_IN_USE", 11: "INVALID_APP", 21: "STATUS",
         22: "SERVER_TEXT", 33: "ALERT", 34: "SAMPLE"}
PACKED = {n: str(n - 1) for n in range(1, 11)} | {11: ".", 12: "|", 13: "-"}


def unpack(data):
    return "".join(PACKED.get(b >> 4, "") + PACKED.get(b & 15, "") for b in data)


def decode(ptype, body):
    body = body.split(b"\0", 1)[0]
    if ptype == 34:
        return unpack(body)
    if ptype == 33 and b";" in body:
        plain, packed = body.split(b";", 1)
        return plain.decode("latin-1") + unpack(packed)
    return body.decode("latin-1")


def read_exact(sock, n):
    data = b""
    while len(data) < n:
        chunk = sock.recv(n - len(data))
        if not chunk:
            raise EOFError
        data += chunk
    return data


def main():
    args = sys.argv[1:5]
    host, port, user, password = args + ["127.0.0.1", "7405", "demo", "demo"][len(args):]
    sock = socket.create_connection((host, int(port)))
    try:
        while True:
            ptype, kind, length, _crc = struct.unpack("<HHII", read_exact(sock, 12))
            body = read_exact(sock, length - 12) if length > 12 else b""
            if ptype == 6:  # the server asks us to log in; an unprotected reply (check value 0)
                text = f"{user} {password} 2 1.0.4".encode() + b"\0"
                sock.sendall(struct.pack("<HHII", 6, 0, 12 + len(text), 0) + text)
                continue
            print(f"{NAMES.get(ptype, ptype)}/{kind}: {decode(ptype, body)}", flush=True)
    except (EOFError, KeyboardInterrupt, BrokenPipeError):
        pass


if __name__ == "__main__":
    main()
