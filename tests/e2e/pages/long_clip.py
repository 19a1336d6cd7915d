#!/usr/bin/env python3
"""Writes a longer copy of a short WebM clip: the same frames, spread over about SIZE_MIB MiB by
Void elements between the blocks of its cluster, so that a player reads it in many pieces.

    long_clip.py IN.webm OUT.webm SIZE_MIB

The clip must be one Segment of: a SeekHead followed by a Void, the other header elements, one
Cluster of SimpleBlocks, then Cues (the layout of the test pages' clip.webm)."""
import struct
import sys

SEGMENT, SEEK_HEAD, SEEK, SEEK_ID, SEEK_POSITION = 0x18538067, 0x114D9B74, 0x4DBB, 0x53AB, 0x53AC
VOID, CLUSTER, CUES, SIMPLE_BLOCK = 0xEC, 0x1F43B675, 0x1C53BB6B, 0xA3


def read_vint(data, at, keep_marker=False):
    first, length, mask = data[at], 1, 0x80
    while not first & mask:
        mask >>= 1
        length += 1
    value = first if keep_marker else first & (mask - 1)
    for k in range(1, length):
        value = (value << 8) | data[at + k]
    return value, length


def elements(data, start, end):
    """(id, header start, data start, data end) of each element in data[start:end]."""
    at = start
    while at < end:
        ident, id_length = read_vint(data, at, True)
        size, size_length = read_vint(data, at + id_length)
        body = at + id_length + size_length
        yield ident, at, body, body + size
        at = body + size


def encode_id(ident):
    return ident.to_bytes((ident.bit_length() + 7) // 8, "big")


def size8(size):
    return bytes([0x01]) + size.to_bytes(7, "big")


def void(total):
    """A Void element of `total` bytes in all (at least 9)."""
    return encode_id(VOID) + size8(total - 9) + bytes(total - 9)


def main():
    source, target, mib = sys.argv[1], sys.argv[2], float(sys.argv[3])
    data = open(source, "rb").read()
    (ebml_id, _, _, ebml_end), (segment_id, segment_at, segment_body, _) = list(
        elements(data, 0, len(data)))[:2]
    assert segment_id == SEGMENT
    parts = list(elements(data, segment_body, len(data)))
    seek_head = next(p for p in parts if p[0] == SEEK_HEAD)
    after_head = parts[parts.index(seek_head) + 1]
    assert after_head[0] == VOID
    cluster = next(p for p in parts if p[0] == CLUSTER)
    assert parts[-1][0] == CUES and parts[-2] == cluster

    # The cluster, with Void elements spread between its blocks.
    pieces = list(elements(data, cluster[2], cluster[3]))
    blocks = [p for p in pieces if p[0] == SIMPLE_BLOCK]
    padding = int(mib * 1024 * 1024) // len(blocks)
    body = b""
    for ident, header, start, end in pieces:
        body += data[header:end]
        if ident == SIMPLE_BLOCK:
            body += void(padding)
    new_cluster = encode_id(CLUSTER) + size8(len(body)) + body
    # Everything before the cluster keeps its place; the Cues follow the longer cluster.
    head = data[segment_body:cluster[1]]
    cues = data[parts[-1][1]:parts[-1][3]]
    cues_position = len(head) + len(new_cluster)

    # The SeekHead, with the Cues' new position (8 bytes wide), and the Void after it shrunk
    # by as much as the SeekHead grew.
    entries = b""
    for _, seek_at, seek_body, seek_end in elements(data, seek_head[2], seek_head[3]):
        fields = {i: data[b:e] for i, _, b, e in elements(data, seek_body, seek_end)}
        position = fields[SEEK_POSITION]
        if int.from_bytes(fields[SEEK_ID], "big") == CUES:
            position = cues_position.to_bytes(8, "big")
        entry = (encode_id(SEEK_ID) + bytes([0x80 | len(fields[SEEK_ID])]) + fields[SEEK_ID] +
                 encode_id(SEEK_POSITION) + bytes([0x80 | len(position)]) + position)
        entries += encode_id(SEEK) + bytes([0x80 | len(entry)]) + entry
    new_head_element = encode_id(SEEK_HEAD) + bytes([0x80 | len(entries)]) + entries
    old_span = after_head[3] - seek_head[1]
    new_void = void(old_span - len(new_head_element))
    head = (new_head_element + new_void + data[after_head[3]:cluster[1]])
    assert len(head) == cluster[1] - segment_body

    segment = head + new_cluster + cues
    out = data[:ebml_end] + encode_id(SEGMENT) + size8(len(segment)) + segment
    open(target, "wb").write(out)


if __name__ == "__main__":
    main()
