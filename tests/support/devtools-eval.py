#!/usr/bin/env python3
"""Evaluates a JavaScript expression in the page of a running headless Chromium and prints its
value as JSON (a promise's, once it settles): what the tests read of a third-party page they
cannot change (its board, its localStorage), and what they store there themselves. The browser is the one whose profile is PROFILE (its DevToolsActivePort file names
the loopback port); the page is its first target whose URL starts with URL_PREFIX.
Usage: devtools-eval.py PROFILE URL_PREFIX EXPRESSION
Exit status 1 with a message when there is no such browser or page, or the expression threw."""
import base64
import json
import os
import socket
import struct
import sys
import urllib.request


def receive_exactly(sock, count):
    data = b""
    while len(data) < count:
        piece = sock.recv(count - len(data))
        if not piece:
            raise ConnectionError("the browser closed the connection")
        data += piece
    return data


def receive_text(sock):
    """One whole text message (frames joined), answering pings."""
    message = b""
    while True:
        head = receive_exactly(sock, 2)
        opcode, length = head[0] & 0x0F, head[1] & 0x7F
        if length == 126:
            length = struct.unpack(">H", receive_exactly(sock, 2))[0]
        elif length == 127:
            length = struct.unpack(">Q", receive_exactly(sock, 8))[0]
        payload = receive_exactly(sock, length)  # the server never masks
        if opcode == 0x8:
            raise ConnectionError("the browser closed the connection")
        if opcode == 0x9:
            send_frame(sock, 0xA, payload)
            continue
        message += payload
        if head[0] & 0x80:
            return message.decode("utf-8")


def send_frame(sock, opcode, payload):
    mask = os.urandom(4)
    length = len(payload)
    if length < 126:
        head = struct.pack(">BB", 0x80 | opcode, 0x80 | length)
    elif length < 65536:
        head = struct.pack(">BBH", 0x80 | opcode, 0x80 | 126, length)
    else:
        head = struct.pack(">BBQ", 0x80 | opcode, 0x80 | 127, length)
    sock.sendall(head + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload)))


def main(profile, prefix, expression):
    with open(os.path.join(profile, "DevToolsActivePort"), encoding="ascii") as f:
        port = int(f.readline().strip())
    with urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list", timeout=10) as answer:
        targets = json.load(answer)
    pages = [t for t in targets if t.get("type") == "page" and t.get("url", "").startswith(prefix)]
    if not pages:
        print(f"no page at {prefix} (pages: {[t.get('url') for t in targets]})", file=sys.stderr)
        return 1
    path = pages[0]["webSocketDebuggerUrl"].split(str(port), 1)[1]
    with socket.create_connection(("127.0.0.1", port), timeout=15) as sock:
        key = base64.b64encode(os.urandom(16)).decode()
        sock.sendall((f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nUpgrade: websocket\r\n"
                      f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
                      "Sec-WebSocket-Version: 13\r\n\r\n").encode())
        response = b""
        while b"\r\n\r\n" not in response:
            response += receive_exactly(sock, 1)
        if b" 101 " not in response.split(b"\r\n", 1)[0]:
            print(response.decode(errors="replace"), file=sys.stderr)
            return 1
        request = {"id": 1, "method": "Runtime.evaluate",
                   "params": {"expression": expression, "returnByValue": True,
                              "awaitPromise": True}}
        send_frame(sock, 0x1, json.dumps(request).encode())
        while True:
            message = json.loads(receive_text(sock))
            if message.get("id") == 1:
                break
    result = message.get("result", {})
    if "exceptionDetails" in result or "error" in message:
        print(json.dumps(message), file=sys.stderr)
        return 1
    print(json.dumps(result.get("result", {}).get("value")))
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    try:
        sys.exit(main(*sys.argv[1:]))
    except (OSError, ValueError) as error:
        print(f"devtools-eval: {error}", file=sys.stderr)
        sys.exit(1)
