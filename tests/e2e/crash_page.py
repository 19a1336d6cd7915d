#!/usr/bin/env python3
"""Crashes the renderer of a page in a running Chromium through its DevTools protocol.

    crash_page.py PORT URL_PREFIX

Finds the first page target whose URL starts with URL_PREFIX (from http://127.0.0.1:PORT/json/list),
opens a WebSocket to it and sends Page.crash. Exits 0 once the command is sent, 1 when no such
page exists.
"""
import json
import os
import subprocess
import sys
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
    # The renderer dies; no answer comes.
    tool = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../tools/devtools-command.py")
    subprocess.run([sys.executable, tool, f"ws://127.0.0.1:{port}{path}", "Page.crash", "1"],
                   check=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
