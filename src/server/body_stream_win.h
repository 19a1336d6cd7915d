// Response bodies: a read-only IStream over a byte range of a ByteSource (the bundle's mapping, a
// loose file, bytes in memory). Nothing is copied when the stream is made; each Read copies from
// the source into the reader's buffer, and a source that cannot deliver (a read error, a loose
// file that has become shorter) makes the read fail with STG_E_READFAULT, position unchanged. The
// stream is agile (it answers IAgileObject and aggregates the free-threaded marshaler from the
// start), so the runtime reads it on its own thread without a proxy and never waits for the GUI
// thread, and it keeps its source open until the stream and all its clones are released.
//
// Semantics are those documented for streams and kept by the platform's memory streams: a read
// stops at the end with a short count and S_OK, and a read at or past the end returns nothing with
// S_FALSE; Seek takes all three origins, refuses a position before the start and an unknown origin
// (STG_E_INVALIDFUNCTION, position unchanged, nothing reported) and allows one past the end;
// STREAM_SEEK_SET takes its distance as unsigned. Stat reports the size, Clone gives a stream of
// its own position over the same bytes, CopyTo moves the position under the same lock as Read and
// Seek. Write and SetSize answer STG_E_ACCESSDENIED, LockRegion and UnlockRegion
// STG_E_INVALIDFUNCTION, Commit and Revert S_OK. (Wine's memory stream departs from the
// documentation in three places: it refuses a STREAM_SEEK_SET distance with the top bit set,
// answers STG_E_INVALIDPARAMETER to an unknown origin, and has no Clone.)
#pragma once

#include <objidl.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <string>

#include "webview/shared_mapping_win.h"

// A new stream over the `count` bytes that start `offset` bytes into `source`, positioned at its
// start. Stat reports `name` unless it is empty or STATFLAG_NONAME is given. Null when the range
// does not lie inside the source, there is no source, memory runs out or the free-threaded
// marshaler cannot be had.
Microsoft::WRL::ComPtr<IStream> NewBodyStream(std::shared_ptr<const ByteSource> source,
                                              std::uint64_t offset, std::uint64_t count,
                                              std::wstring name = {}) noexcept;
