// Response bodies read in place: a read-only IStream over a byte range of a shared mapping (a
// bundle entry, or part of a mapped loose file). Nothing is copied when the stream is made; each
// Read copies from the view into the reader's buffer. The stream is agile (it answers
// IAgileObject and aggregates the free-threaded marshaler), so the runtime may read it from any
// thread, and it keeps its mapping open until the stream and all its clones are released.
//
// Semantics are those documented for streams and kept by the platform's memory streams: a read
// stops at the end with a short count and S_OK, and a read at or past the end returns nothing with
// S_FALSE; Seek takes all three origins, refuses a position before the start and an unknown origin
// (STG_E_INVALIDFUNCTION, position unchanged, nothing reported) and allows one past the end;
// STREAM_SEEK_SET takes its distance as unsigned. Stat reports the size, Clone gives a stream of
// its own position over the same bytes, CopyTo writes from the view without a buffer. Write and
// SetSize answer STG_E_ACCESSDENIED, LockRegion and UnlockRegion STG_E_INVALIDFUNCTION, Commit and
// Revert S_OK. (Wine's memory stream departs from the documentation in three places: it refuses a
// STREAM_SEEK_SET distance with the top bit set, answers STG_E_INVALIDPARAMETER to an unknown
// origin, and has no Clone.)
#pragma once

#include <objidl.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <string>

#include "webview/shared_mapping_win.h"

// A new stream over the `count` bytes that start `offset` bytes into `mapping`'s view, positioned
// at its start. Stat reports `name` unless it is empty or STATFLAG_NONAME is given. Null when the
// range does not lie inside the view, there is no mapping, or memory runs out.
Microsoft::WRL::ComPtr<IStream> NewMappedStream(std::shared_ptr<const SharedMapping> mapping,
                                                std::uint64_t offset, std::uint64_t count,
                                                std::wstring name = {}) noexcept;
