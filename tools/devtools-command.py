#!/usr/bin/env python3
"""Sends one DevTools command, without parameters, to a running Chromium over a WebSocket.

    devtools-command.py ENDPOINT METHOD [WAIT_SECONDS]

ENDPOINT is ws://127.0.0.1:PORT/devtools/... (the browser's own, or a page target's). Exits 0 once
the command is sent and its answer came, the browser closed the connection, or WAIT_SECONDS
(default 5) passed without either (a crashed page never answers); 1 when the endpoint cannot be
reached or refuses the WebSocket.
"""
import base64
import json
import os
import socket
import sys
import urllib.parse


def main():
    url = urllib.parse.urlsplit(sys.argv[1])
    method = sys.argv[2]
    wait = float(sys.argv[3]) if len(sys.argv) > 3 else 5
    try:
        with socket.create_connection((url.hostname, url.port), timeout=10) as connection:
            key = base64.b64encode(os.urandom(16)).decode()
            connection.sendall((f"GET {url.path} HTTP/1.1\r\nHost: {url.hostname}:{url.port}\r\n"
                                "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                                f"Sec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n")
                               .encode())
            reply = b""
            while b"\r\n\r\n" not in reply:
                piece = connection.recv(4096)
                if not piece:
                    return 1
                reply += piece
            if b" 101 " not in reply.split(b"\r\n", 1)[0]:
                print(reply.decode(errors="replace"), file=sys.stderr)
                return 1
            payload = json.dumps({"id": 1, "method": method}).encode()  # under 126 bytes
            mask = os.urandom(4)
            masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
            connection.sendall(bytes([0x81, 0x80 | len(payload)]) + mask + masked)
            connection.settimeout(wait)
            try:
                connection.recv(4096)
            except OSError:
                pass
    except OSError as error:
        print(f"{sys.argv[1]}: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
