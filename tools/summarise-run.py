#!/usr/bin/env python3
"""Prints what happened in one run of the host: message boxes, the window, the requests the host
answered (status and URI, and bodies that are not agile), the messages exchanged with the page,
calls the runtime refused from other threads, message loops inside its callbacks, and the exit
code.
Usage: summarise-run.py PROBE_JSON TRANSCRIPT_JSONL"""
import json
import sys


def main(probe_path, transcript_path):
    with open(probe_path, encoding="utf-8") as f:
        text = f.read()
    probe = json.loads(text[text.index('{"boxes"'):])
    lines = []
    try:
        with open(transcript_path, encoding="utf-8") as f:
            lines = [json.loads(line) for line in f if line.strip()]
    except FileNotFoundError:
        pass

    for box in probe.get("boxes", []):
        print(f"message box ({box['icon']}): {box['caption']}: {box['text']}")
    window = probe.get("window")
    if window:
        left, top, right, bottom = window["clientRect"]
        print(f"window: \"{window['title']}\", client area {right - left}x{bottom - top}, "
              f"{'shown' if probe.get('everVisible') else 'never shown'}")
    for line in lines:
        kind = line.get("type")
        if kind == "response":
            length = (line.get("body") or {}).get("length", 0)
            slow = ", body not agile" if line.get("bodyAgile") is False else ""
            print(f"served {line['status']} {line['reason']}: {line['uri']} ({length} bytes{slow})")
        elif kind == "unanswered":
            print(f"unanswered ({line.get('cause')}): {line.get('uri')}")
        elif kind == "event" and line.get("event") == "WebMessageReceived":
            print(f"page -> host: {line.get('string') or line.get('json')}")
        elif kind == "call" and line.get("method") in (
                "PostWebMessageAsJson", "PostWebMessageAsJsonWithAdditionalObjects"):
            extra = f" + {line['count']} handles" if "count" in line else ""
            print(f"host -> page: {line.get('json')}{extra}")
        elif kind == "failure":
            print(f"runtime failure: {line.get('message')}")
        elif kind == "wrongThread":
            print(f"refused, called from another thread: {line.get('object')}.{line.get('method')}")
        elif kind == "nestedLoopInCallback":
            print(f"message loop inside the callback {line.get('callback')}")
    print(f"exit code: {probe.get('exitCode')}{' (timed out)' if probe.get('timedOut') else ''}")
    return 0 if probe.get("exitCode") == 0 and not probe.get("timedOut") else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
