#!/usr/bin/env python3
"""Crashes the renderer of a page in a running Chromium through its DevTools protocol.

    crash_page.py PORT URL_PREFIX

Finds the first page target whose URL starts with URL_PREFIX (from http://127.0.0.1:PORT/json/list),
opens a WebSocket to it and sends Page.crash. Exits 0 once the command is sent, 1 when no such
page exists.
"""
import base64
import json
import os
import socket
import sys
import time
import urllib.request


def main():
    port, prefix = sys.argv[1], sys.argv[2]
    with urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list", timeout=10) as answer:
        targets = json.load(answer)
    pages = [t for t in targets if t.get("type") == "page" and t.get("url", "").startswith(prefix)]
    if not pages:
        print("no page at " + prefix, file=sys.stderr)
        return 1
    path = pages[0]["webSocketDebuggerUrl"].split(f"127.0.0.1:{port}", 1)[1]
    with socket.create_connection(("127.0.0.1", int(port)), timeout=10) as connection:
        key = base64.b64encode(os.urandom(16)).decode()
        connection.sendall((f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
                            "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                            f"Sec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n").encode())
        reply = b""
        while b"\r\n\r\n" not in reply:
            piece = connection.recv(4096)
            if not piece:
                return 1
            reply += piece
        if b" 101 " not in reply.split(b"\r\n", 1)[0]:
            print(reply.decode(errors="replace"), file=sys.stderr)
            return 1
        payload = json.dumps({"id": 1, "method": "Page.crash"}).encode()
        mask = os.urandom(4)
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
        connection.sendall(bytes([0x81, 0x80 | len(payload)]) + mask + masked)
        time.sleep(1)  # the renderer dies; no answer comes
    return 0


if __name__ == "__main__":
    sys.exit(main())
