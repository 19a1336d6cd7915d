// Body streams over their sources (a mapping, a loose file): their semantics side by side with the
// platform's memory stream over the same bytes, failed reads, their agility, every kind of body the
// request handler gives, and the life of the files under them (a stream the runtime keeps after the
// host's teardown; a loose file an editor rewrites meanwhile).
#include "server/body_stream_win.h"

#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/startup_win.h"
#include "bundle/asset_bundle.h"
#include "bundle/bundle_writer.h"
#include "config/app_config.h"
#include "support/resource_requests_win.h"

namespace {

namespace fs = std::filesystem;
using Microsoft::WRL::ComPtr;

// `size` bytes that differ at every position from their neighbours and from a shifted copy.
std::string Pattern(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + seed) ^ (i >> 8));
    }
    return bytes;
}

// A fresh folder under the temporary folder, removed at the end.
class TempFolder {
public:
    explicit TempFolder(const std::string& name) {
        wchar_t temp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH + 1, temp);
        path_ = fs::path(temp) / (name + "-" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& Path() const { return path_; }
    fs::path Write(const std::string& relative, const std::string& bytes) const {
        const fs::path file = path_ / relative;
        fs::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file;
    }

private:
    fs::path path_;
};

ComPtr<IStream> MemoryStreamOver(const std::string& bytes) {
    ComPtr<IStream> stream;
    *stream.ReleaseAndGetAddressOf() = SHCreateMemStream(
        reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
    return stream;
}

std::uint64_t Position(IStream* stream) {
    ULARGE_INTEGER position{};
    stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &position);
    return position.QuadPart;
}

// Reads the rest of the stream in pieces of `piece` bytes.
std::string ReadRest(IStream* stream, ULONG piece = 4096) {
    std::string bytes;
    std::string buffer(piece, '\0');
    ULONG read = 0;
    while (SUCCEEDED(stream->Read(buffer.data(), piece, &read)) && read > 0) {
        bytes.append(buffer.data(), read);
    }
    return bytes;
}

// The stream under test and the platform's memory stream over the same `count` bytes that start
// `offset` bytes into a mapped file.
class StreamPair : public ::testing::Test {
protected:
    static constexpr std::uint64_t kOffset = 100;
    static constexpr std::uint64_t kCount = 3000;

    void SetUp() override {
        file_ = Pattern(5000, 3);
        mapping_ = SharedMapping::Open(folder_.Write("mapped.bin", file_).wstring());
        ASSERT_NE(mapping_, nullptr);
        ASSERT_EQ(mapping_->Size(), file_.size());
        ours_ = NewBodyStream(mapping_, kOffset, kCount);
        reference_ = MemoryStreamOver(Bytes());
        ASSERT_NE(ours_, nullptr);
        ASSERT_NE(reference_, nullptr);
    }
    std::string Bytes() const { return file_.substr(kOffset, kCount); }

    TempFolder folder_{"mapped-stream-test"};
    std::string file_;
    std::shared_ptr<const SharedMapping> mapping_;
    ComPtr<IStream> ours_;
    ComPtr<IStream> reference_;
};

struct ReadOutcome {
    HRESULT result;
    ULONG read;
    std::string bytes;
    std::uint64_t positionAfter;
};

ReadOutcome ReadFrom(IStream* stream, ULONG size) {
    std::string buffer(size + 1, '\x5A');
    ULONG read = 0xDEAD;
    const HRESULT result = stream->Read(buffer.data(), size, &read);
    return {result, read, buffer.substr(0, read <= size ? read : 0), Position(stream)};
}

struct SeekOutcome {
    HRESULT result;
    std::uint64_t reported;  // what the call wrote to its out parameter (a sentinel if nothing)
    std::uint64_t positionAfter;
};

constexpr std::uint64_t kUntouched = 0xABCDABCDABCDABCDull;

SeekOutcome SeekIn(IStream* stream, LONGLONG move, DWORD origin) {
    ULARGE_INTEGER reported;
    reported.QuadPart = kUntouched;
    LARGE_INTEGER distance;
    distance.QuadPart = move;
    const HRESULT result = stream->Seek(distance, origin, &reported);
    return {result, reported.QuadPart, Position(stream)};
}

TEST_F(StreamPair, ReadsOfEverySizeAcrossTheEndMatchTheMemoryStream) {
    const std::uint64_t starts[] = {0, 1, kCount - 11, kCount - 10, kCount - 1, kCount, kCount + 7};
    const ULONG sizes[] = {0, 1, 9, 10, 11, 4096, kCount - 1, kCount, kCount + 1, 1u << 20};
    for (const std::uint64_t start : starts) {
        for (const ULONG size : sizes) {
            SCOPED_TRACE("read of " + std::to_string(size) + " at " + std::to_string(start));
            LARGE_INTEGER at;
            at.QuadPart = static_cast<LONGLONG>(start);
            ASSERT_HRESULT_SUCCEEDED(ours_->Seek(at, STREAM_SEEK_SET, nullptr));
            ASSERT_HRESULT_SUCCEEDED(reference_->Seek(at, STREAM_SEEK_SET, nullptr));
            const ReadOutcome mine = ReadFrom(ours_.Get(), size);
            const ReadOutcome theirs = ReadFrom(reference_.Get(), size);
            EXPECT_EQ(mine.result, start < kCount ? S_OK : S_FALSE);
            EXPECT_EQ(mine.result, theirs.result);
            EXPECT_EQ(mine.read, theirs.read);
            EXPECT_EQ(mine.bytes, theirs.bytes);
            EXPECT_EQ(mine.positionAfter, theirs.positionAfter);
            const std::uint64_t expected =
                start < kCount ? std::min<std::uint64_t>(size, kCount - start) : 0;
            EXPECT_EQ(mine.read, expected);
            EXPECT_EQ(mine.bytes, start < kCount ? Bytes().substr(start, expected) : "");
        }
    }
    // Reading the whole stream in odd pieces gives every byte once; a null count is allowed, a
    // null buffer is not.
    ours_->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(ReadRest(ours_.Get(), 7), Bytes());
    ours_->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    char byte = 0;
    EXPECT_EQ(ours_->Read(&byte, 1, nullptr), S_OK);
    EXPECT_EQ(byte, Bytes()[0]);
    ULONG read = 0xDEAD;
    EXPECT_EQ(ours_->Read(nullptr, 1, &read), STG_E_INVALIDPOINTER);
    EXPECT_EQ(read, 0u);
}

TEST_F(StreamPair, SeeksFromEachOriginMatchTheDocumentedRules) {
    constexpr LONGLONG kN = static_cast<LONGLONG>(kCount);
    struct Row {
        const char* what;
        std::uint64_t from;  // position before the seek
        LONGLONG move;
        DWORD origin;
        HRESULT result;          // the documented outcome, which this stream gives
        std::uint64_t position;  // position afterwards
        bool sameAsWine;         // whether Wine's memory stream gives the same
    };
    const std::vector<Row> rows = {
        {"set to the start", 500, 0, STREAM_SEEK_SET, S_OK, 0, true},
        {"set inside", 0, 1234, STREAM_SEEK_SET, S_OK, 1234, true},
        {"set to the end", 0, kN, STREAM_SEEK_SET, S_OK, kCount, true},
        {"set past the end", 0, kN + 5, STREAM_SEEK_SET, S_OK, kCount + 5, true},
        // The distance from the start is unsigned: -1 is the largest position there is (Wine's
        // memory stream refuses it).
        {"set to -1 (unsigned)", 10, -1, STREAM_SEEK_SET, S_OK, ~std::uint64_t{0}, false},
        {"current, ask where", 700, 0, STREAM_SEEK_CUR, S_OK, 700, true},
        {"current forwards", 700, 300, STREAM_SEEK_CUR, S_OK, 1000, true},
        {"current backwards", 700, -700, STREAM_SEEK_CUR, S_OK, 0, true},
        {"current before the start", 700, -701, STREAM_SEEK_CUR, STG_E_INVALIDFUNCTION, 700, true},
        {"current past the end", kCount - 1, 10, STREAM_SEEK_CUR, S_OK, kCount + 9, true},
        {"end", 0, 0, STREAM_SEEK_END, S_OK, kCount, true},
        {"end backwards", 0, -1, STREAM_SEEK_END, S_OK, kCount - 1, true},
        {"end back to the start", 9, -kN, STREAM_SEEK_END, S_OK, 0, true},
        {"end before the start", 9, -kN - 1, STREAM_SEEK_END, STG_E_INVALIDFUNCTION, 9, true},
        {"end past the end", 0, 10, STREAM_SEEK_END, S_OK, kCount + 10, true},
        {"end, the most negative move", 9, LLONG_MIN, STREAM_SEEK_END, STG_E_INVALIDFUNCTION, 9,
         true},
        // Documented as STG_E_INVALIDFUNCTION; Wine's memory stream says STG_E_INVALIDPARAMETER.
        {"no such origin", 9, 0, 3, STG_E_INVALIDFUNCTION, 9, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        LARGE_INTEGER from;
        from.QuadPart = static_cast<LONGLONG>(row.from);
        ours_->Seek(from, STREAM_SEEK_SET, nullptr);
        reference_->Seek(from, STREAM_SEEK_SET, nullptr);
        const SeekOutcome mine = SeekIn(ours_.Get(), row.move, row.origin);
        const SeekOutcome theirs = SeekIn(reference_.Get(), row.move, row.origin);
        EXPECT_EQ(mine.result, row.result);
        EXPECT_EQ(mine.positionAfter, row.position);
        EXPECT_EQ(mine.reported, SUCCEEDED(row.result) ? row.position : kUntouched)
            << "the new position is reported on success only";
        if (row.sameAsWine) {
            EXPECT_EQ(mine.result, theirs.result);
            EXPECT_EQ(mine.positionAfter, theirs.positionAfter);
        } else {
            EXPECT_NE(theirs.result, row.result) << "Wine now follows the documentation here";
            EXPECT_EQ(theirs.positionAfter, row.from);
        }
        // Wherever the seek left the position, a read from there agrees with the memory stream.
        const ReadOutcome mineRead = ReadFrom(ours_.Get(), 16);
        const ReadOutcome theirRead = ReadFrom(reference_.Get(), 16);
        if (row.sameAsWine) {
            EXPECT_EQ(mineRead.read, theirRead.read);
            EXPECT_EQ(mineRead.bytes, theirRead.bytes);
        }
        const std::uint64_t at = mine.positionAfter;
        EXPECT_EQ(mineRead.bytes, at < kCount ? Bytes().substr(at, 16) : "");
    }
}

TEST_F(StreamPair, StatCloneCopyToWriteAndSetSize) {
    // Stat: the size and type agree with the memory stream; no name unless one was given, and
    // never with STATFLAG_NONAME.
    STATSTG mine{};
    STATSTG theirs{};
    ASSERT_HRESULT_SUCCEEDED(ours_->Stat(&mine, STATFLAG_DEFAULT));
    ASSERT_HRESULT_SUCCEEDED(reference_->Stat(&theirs, STATFLAG_NONAME));
    EXPECT_EQ(mine.cbSize.QuadPart, kCount);
    EXPECT_EQ(mine.cbSize.QuadPart, theirs.cbSize.QuadPart);
    EXPECT_EQ(mine.type, static_cast<DWORD>(STGTY_STREAM));
    EXPECT_EQ(mine.type, theirs.type);
    EXPECT_EQ(mine.pwcsName, nullptr);
    CoTaskMemFree(theirs.pwcsName);
    EXPECT_EQ(ours_->Stat(nullptr, STATFLAG_DEFAULT), STG_E_INVALIDPOINTER);
    EXPECT_EQ(ours_->Stat(&mine, 7), STG_E_INVALIDFLAG);
    ComPtr<IStream> named = NewBodyStream(mapping_, 0, 10, L"media/intro.webm");
    ASSERT_NE(named, nullptr);
    ASSERT_HRESULT_SUCCEEDED(named->Stat(&mine, STATFLAG_DEFAULT));
    ASSERT_NE(mine.pwcsName, nullptr);
    EXPECT_STREQ(mine.pwcsName, L"media/intro.webm");
    CoTaskMemFree(mine.pwcsName);
    ASSERT_HRESULT_SUCCEEDED(named->Stat(&mine, STATFLAG_NONAME));
    EXPECT_EQ(mine.pwcsName, nullptr);
    EXPECT_EQ(mine.cbSize.QuadPart, 10u);

    // Clone (which Wine's memory stream lacks): the same bytes from the same position, then
    // each moves on its own.
    LARGE_INTEGER at;
    at.QuadPart = 1000;
    ours_->Seek(at, STREAM_SEEK_SET, nullptr);
    ComPtr<IStream> myClone;
    ComPtr<IStream> theirClone;
    ASSERT_HRESULT_SUCCEEDED(ours_->Clone(&myClone));
    EXPECT_EQ(reference_->Clone(&theirClone), E_NOTIMPL) << "Wine's memory stream clones now";
    EXPECT_EQ(Position(myClone.Get()), 1000u);
    EXPECT_EQ(ReadFrom(myClone.Get(), 50).bytes, Bytes().substr(1000, 50));
    EXPECT_EQ(Position(ours_.Get()), 1000u) << "the original did not move with its clone";
    EXPECT_EQ(ReadFrom(ours_.Get(), 20).bytes, Bytes().substr(1000, 20));
    EXPECT_EQ(Position(myClone.Get()), 1050u);
    EXPECT_EQ(ReadRest(myClone.Get()), Bytes().substr(1050));
    EXPECT_EQ(ours_->Clone(nullptr), STG_E_INVALIDPOINTER);

    // CopyTo: into a fresh memory stream, part of the rest, then more than the rest.
    const ULONGLONG wants[] = {0, 100, kCount};
    for (const ULONGLONG want : wants) {
        SCOPED_TRACE("CopyTo of " + std::to_string(want));
        at.QuadPart = 2500;
        ours_->Seek(at, STREAM_SEEK_SET, nullptr);
        reference_->Seek(at, STREAM_SEEK_SET, nullptr);
        ComPtr<IStream> myTarget = MemoryStreamOver("");
        ComPtr<IStream> theirTarget = MemoryStreamOver("");
        ULARGE_INTEGER count;
        count.QuadPart = want;
        ULARGE_INTEGER myRead{}, myWritten{}, theirRead{}, theirWritten{};
        const HRESULT myResult = ours_->CopyTo(myTarget.Get(), count, &myRead, &myWritten);
        const HRESULT theirResult =
            reference_->CopyTo(theirTarget.Get(), count, &theirRead, &theirWritten);
        EXPECT_EQ(myResult, S_OK);
        EXPECT_EQ(myResult, theirResult);
        EXPECT_EQ(myRead.QuadPart, theirRead.QuadPart);
        EXPECT_EQ(myWritten.QuadPart, theirWritten.QuadPart);
        EXPECT_EQ(myRead.QuadPart, std::min<ULONGLONG>(want, kCount - 2500));
        EXPECT_EQ(Position(ours_.Get()), Position(reference_.Get()));
        myTarget->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
        theirTarget->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
        const std::string copied = ReadRest(myTarget.Get());
        EXPECT_EQ(copied, ReadRest(theirTarget.Get()));
        EXPECT_EQ(copied, Bytes().substr(2500, myRead.QuadPart));
    }
    ULARGE_INTEGER all;
    all.QuadPart = kCount;
    EXPECT_EQ(ours_->CopyTo(nullptr, all, nullptr, nullptr), STG_E_INVALIDPOINTER);

    // Read only: Write and SetSize are refused and change nothing (the memory stream would
    // take both).
    ours_->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    ULONG written = 0xDEAD;
    EXPECT_EQ(ours_->Write("xyz", 3, &written), STG_E_ACCESSDENIED);
    EXPECT_EQ(written, 0u);
    ULARGE_INTEGER size;
    size.QuadPart = 10;
    EXPECT_EQ(ours_->SetSize(size), STG_E_ACCESSDENIED);
    EXPECT_EQ(ReadRest(ours_.Get()), Bytes());
    EXPECT_EQ(ours_->LockRegion(ULARGE_INTEGER{}, size, LOCK_WRITE), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(ours_->Commit(STGC_DEFAULT), S_OK);
}

TEST_F(StreamPair, RangesOutsideTheSourceGetNoStream) {
    EXPECT_NE(NewBodyStream(mapping_, 0, file_.size()), nullptr);
    EXPECT_NE(NewBodyStream(mapping_, file_.size(), 0), nullptr);
    EXPECT_EQ(NewBodyStream(mapping_, 0, file_.size() + 1), nullptr);
    EXPECT_EQ(NewBodyStream(mapping_, file_.size() + 1, 0), nullptr);
    EXPECT_EQ(NewBodyStream(mapping_, 10, ~std::uint64_t{0} - 5), nullptr);  // would wrap
    EXPECT_EQ(NewBodyStream(nullptr, 0, 0), nullptr);
    // An empty file cannot be mapped at all.
    EXPECT_EQ(SharedMapping::Open(folder_.Write("empty.bin", "").wstring()), nullptr);
    EXPECT_EQ(SharedMapping::Open((folder_.Path() / "missing.bin").wstring()), nullptr);
}

TEST_F(StreamPair, IsAgileAndClonesReadFromTwoThreadsAtOnce) {
    ComPtr<IAgileObject> agile;
    EXPECT_HRESULT_SUCCEEDED(ours_.As(&agile));
    ComPtr<IMarshal> marshal;
    ASSERT_HRESULT_SUCCEEDED(ours_.As(&marshal));
    // The marshaler is aggregated: its IUnknown is the stream's.
    ComPtr<IUnknown> viaMarshal;
    ComPtr<IUnknown> viaStream;
    marshal.As(&viaMarshal);
    ours_.As(&viaStream);
    EXPECT_EQ(viaMarshal.Get(), viaStream.Get());
    ComPtr<ISequentialStream> sequential;
    EXPECT_HRESULT_SUCCEEDED(ours_.As(&sequential));

    // Marshaled from this apartment into a thread of the multithreaded one, the stream arrives as
    // itself (no proxy) and reads there.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IStream* carrier = nullptr;
    ASSERT_HRESULT_SUCCEEDED(
        CoMarshalInterThreadInterfaceInStream(__uuidof(IStream), ours_.Get(), &carrier));
    IStream* arrived = nullptr;
    std::string readThere;
    std::thread([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (SUCCEEDED(CoGetInterfaceAndReleaseStream(carrier, __uuidof(IStream),
                                                     reinterpret_cast<void**>(&arrived)))) {
            arrived->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
            readThere = ReadRest(arrived, 1000);
            arrived->Release();
        }
        CoUninitialize();
    }).join();
    if (SUCCEEDED(com)) CoUninitialize();
    EXPECT_EQ(arrived, ours_.Get());
    EXPECT_EQ(readThere, Bytes());

    // Two clones read at the same time from two threads, many times over, in pieces of
    // different sizes; each must see exactly its bytes.
    ComPtr<IStream> first;
    ComPtr<IStream> second;
    ASSERT_HRESULT_SUCCEEDED(ours_->Clone(&first));
    ASSERT_HRESULT_SUCCEEDED(ours_->Clone(&second));
    const auto reader = [&](IStream* stream, ULONG piece, int* good) {
        for (int round = 0; round < 300; ++round) {
            stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
            if (ReadRest(stream, piece) == Bytes()) ++*good;
        }
    };
    int firstGood = 0;
    int secondGood = 0;
    std::thread one(reader, first.Get(), 7, &firstGood);
    std::thread two(reader, second.Get(), 64, &secondGood);
    one.join();
    two.join();
    EXPECT_EQ(firstGood, 300);
    EXPECT_EQ(secondGood, 300);
}

// A source whose reads fail from the `failFrom`-th call on (0-based), as a file on a share that
// has gone away; `seekDuringCopy` runs inside CopyTo's first write, on another thread.
class FailingSource final : public ByteSource {
public:
    explicit FailingSource(std::string bytes, int failFrom)
        : bytes_(std::move(bytes)), failFrom_(failFrom) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(std::uint64_t offset, void* buffer, std::uint32_t count) const override {
        if (calls_++ >= failFrom_) return false;
        std::memcpy(buffer, bytes_.data() + offset, count);
        return true;
    }

private:
    const std::string bytes_;
    const int failFrom_;
    mutable std::atomic<int> calls_{0};
};

TEST_F(StreamPair, AViewThatCannotBeReadFailsTheReadInsteadOfTheProcess) {
    // The view's page made unreadable stands for the storage behind it going away (a share, a
    // removable drive): the copy out of it faults, and the stream reports that.
    DWORD old = 0;
    auto* view = const_cast<std::uint8_t*>(mapping_->View());
    ASSERT_TRUE(VirtualProtect(view, 4096, PAGE_NOACCESS, &old));
    const ReadOutcome failed = ReadFrom(ours_.Get(), 100);
    ASSERT_TRUE(VirtualProtect(view, 4096, old, &old));
    EXPECT_EQ(failed.result, STG_E_READFAULT);
    EXPECT_EQ(failed.read, 0u);
    EXPECT_EQ(failed.positionAfter, 0u);
    EXPECT_EQ(ReadRest(ours_.Get()), Bytes()) << "and reads again once the bytes are back";
}

// The guard of copies out of a view takes only faults in reading the view itself: {code, read
// or write, address relative to the view's start (its size is 4096), parameters} -> handled.
TEST(GuardedCopy, TakesOnlyFaultsInReadingTheView) {
    struct Row {
        DWORD code;
        ULONG_PTR access;  // 0 read, 1 write, 8 execution
        std::ptrdiff_t at;
        DWORD parameters;
        bool handled;
    };
    const Row rows[] = {
        {EXCEPTION_IN_PAGE_ERROR, 0, 0, 3, true},
        {EXCEPTION_IN_PAGE_ERROR, 0, 4095, 3, true},
        {EXCEPTION_ACCESS_VIOLATION, 0, 100, 2, true},
        {EXCEPTION_IN_PAGE_ERROR, 0, 4096, 3, false},  // just past the view
        {EXCEPTION_IN_PAGE_ERROR, 0, -1, 3, false},    // just before it
        {EXCEPTION_ACCESS_VIOLATION, 0, 1 << 20, 2, false},
        {EXCEPTION_ACCESS_VIOLATION, 1, 100, 2, false},  // writing is never the view's fault
        {EXCEPTION_ACCESS_VIOLATION, 8, 100, 2, false},
        {EXCEPTION_IN_PAGE_ERROR, 0, 100, 1, false},  // no address given
        {EXCEPTION_INT_DIVIDE_BY_ZERO, 0, 100, 0, false},
        {EXCEPTION_STACK_OVERFLOW, 0, 100, 2, false},
        {EXCEPTION_BREAKPOINT, 0, 100, 2, false},
        {EXCEPTION_ILLEGAL_INSTRUCTION, 0, 100, 2, false},
    };
    static std::uint8_t view[3 * 4096];
    const std::uint8_t* start = view + 4096;
    for (const Row& row : rows) {
        EXCEPTION_RECORD record{};
        record.ExceptionCode = row.code;
        record.NumberParameters = row.parameters;
        record.ExceptionInformation[0] = row.access;
        record.ExceptionInformation[1] = reinterpret_cast<ULONG_PTR>(start) + row.at;
        record.ExceptionInformation[2] = 0xC000009C;  // the cause: STATUS_DEVICE_DATA_ERROR
        EXPECT_EQ(GuardedCopyFilter(record, start, 4096),
                  row.handled ? EXCEPTION_EXECUTE_HANDLER : EXCEPTION_CONTINUE_SEARCH)
            << std::hex << row.code << " access " << row.access << " at " << std::dec << row.at;
    }
}

// A fault outside the view (here: a destination that cannot be written) is a bug: the guard lets
// it crash the process, where the system's last handler sees it.
TEST(GuardedCopy, AFaultOutsideTheViewIsNotSwallowed) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto copyIntoNothing = [] {
        SetUnhandledExceptionFilter([](EXCEPTION_POINTERS* pointers) -> LONG {
            const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
            const bool writeFault = record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION &&
                                    record.NumberParameters >= 2 &&
                                    record.ExceptionInformation[0] == 1;
            ExitProcess(writeFault ? 42 : 43);
            return EXCEPTION_EXECUTE_HANDLER;
        });
        static const std::uint8_t view[64] = {1, 2, 3};
        void* closed = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READONLY);
        CopyReportingFaults(closed, view, sizeof view, view, sizeof view);
        ExitProcess(0);  // the copy returned: the fault was swallowed
    };
    EXPECT_EXIT(copyIntoNothing(), testing::ExitedWithCode(42), "");
    // The same copy into memory that can be written works.
    static const std::uint8_t view[64] = {1, 2, 3};
    std::uint8_t copy[64] = {};
    EXPECT_TRUE(CopyReportingFaults(copy, view, sizeof view, view, sizeof view));
    EXPECT_EQ(std::memcmp(copy, view, sizeof view), 0);
}

TEST(BodyStreams, ReadsThatFailAreReportedAndMoveNothing) {
    const std::string bytes = Pattern(1000, 1);
    ComPtr<IStream> stream = NewBodyStream(std::make_shared<FailingSource>(bytes, 1), 0, 1000);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(ReadFrom(stream.Get(), 100).bytes, bytes.substr(0, 100));
    const ReadOutcome failed = ReadFrom(stream.Get(), 100);
    EXPECT_EQ(failed.result, STG_E_READFAULT);
    EXPECT_EQ(failed.read, 0u);
    EXPECT_EQ(failed.positionAfter, 100u);
    ComPtr<IStream> target = MemoryStreamOver("");
    ULARGE_INTEGER all;
    all.QuadPart = 1000;
    ULARGE_INTEGER read{}, written{};
    EXPECT_EQ(stream->CopyTo(target.Get(), all, &read, &written), STG_E_READFAULT);
    EXPECT_EQ(read.QuadPart, 0u);
    EXPECT_EQ(written.QuadPart, 0u);
    EXPECT_EQ(Position(stream.Get()), 100u);
}

// A destination that calls back into the stream it is copied from, on the same thread, at its
// first Write: it asks for the position and moves it back to the start (as a destination that
// reads its source's size or progress would). Every other method is refused.
class CallingBackDestination final : public ComObject<IStream> {
public:
    explicit CallingBackDestination(IStream* source) : source_(source) {}
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG count, ULONG* written) override {
        if (++writes == 1) {
            positionSeen = Position(source_);
            source_->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
            STATSTG stat{};
            source_->Stat(&stat, STATFLAG_NONAME);
            sizeSeen = stat.cbSize.QuadPart;
        }
        *written = count;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                     ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

    int writes = 0;
    std::uint64_t positionSeen = kUntouched;
    std::uint64_t sizeSeen = kUntouched;

private:
    IStream* source_;
};

TEST_F(StreamPair, CopyToLetsItsDestinationCallBackIntoTheStream) {
    // The stream's lock is not held while the destination writes: a destination that calls back
    // on the same thread finds the chunk it was given already taken, and its seek holds.
    ComPtr<CallingBackDestination> destination(new CallingBackDestination(ours_.Get()));
    ULARGE_INTEGER all;
    all.QuadPart = kCount;
    ULARGE_INTEGER read{}, written{};
    EXPECT_EQ(ours_->CopyTo(destination.Get(), all, &read, &written), S_OK);
    EXPECT_EQ(destination->writes, 1);
    EXPECT_EQ(destination->positionSeen, kCount);
    EXPECT_EQ(destination->sizeSeen, kCount);
    EXPECT_EQ(read.QuadPart, kCount);
    EXPECT_EQ(written.QuadPart, kCount);
    EXPECT_EQ(Position(ours_.Get()), 0u);
}

// Whether a stream reaches another apartment as itself: it answers IAgileObject, or its IMarshal
// is the free-threaded marshaler.
bool IsAgile(IStream* stream) {
    ComPtr<IAgileObject> agile;
    if (SUCCEEDED(stream->QueryInterface(IID_PPV_ARGS(&agile)))) return true;
    ComPtr<IMarshal> marshal;
    CLSID unmarshaler{};
    return SUCCEEDED(stream->QueryInterface(IID_PPV_ARGS(&marshal))) &&
           SUCCEEDED(marshal->GetUnmarshalClass(__uuidof(IStream), stream, MSHCTX_INPROC, nullptr,
                                                MSHLFLAGS_NORMAL, &unmarshaler)) &&
           unmarshaler == CLSID_InProcFreeMarshaler;
}

struct Answered {
    int status = 0;
    ComPtr<ICoreWebView2WebResourceResponse> response;
    ComPtr<IStream> body;
};

// The host's answer to one request; `refusedPuts` of its put_Response calls fail first.
Answered Ask(VeltraWebView& host, const std::string& key, const std::string& range = "",
             int refusedPuts = 0) {
    using namespace resource_requests;
    ComPtr<RequestedArgs> args(new RequestedArgs(ComPtr<ICoreWebView2WebResourceRequest>(
        new Request(ToWide(kOrigin + key), ToWide(range)))));
    args->refusedPuts = refusedPuts;
    OnWebResourceRequested(host, args.Get());
    Answered answered;
    answered.response = args->Response();
    if (answered.response != nullptr) {
        answered.response->get_StatusCode(&answered.status);
        answered.response->get_Content(&answered.body);
    }
    return answered;
}

// The host's own set-up and teardown, with the substitute runtime making the responses.
class HostBodies : public ::testing::Test {
protected:
    void SetUp() override {
        // The host's thread is in a single-threaded apartment, as the runtime requires of the
        // thread that creates its environment.
        comInitialized_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        ASSERT_TRUE(loader_.Load(resource_requests::SubstituteFolder()));
        bundlePath_ = app_.Write(
            "www/assets.dat", EncodeBundle({{"index.html", "<p>hi</p>"}, {"movie.bin", movie_}}));
        loosePath_ = app_.Write("www/loose.bin", loose_);
        bool loaded = false;
        bundleMapping_ = MapBundle(AddLongPathPrefix(bundlePath_.wstring()), bundle_, loaded);
        ASSERT_TRUE(loaded);
        config_.name = "host-bodies";
        host_ = std::make_unique<VeltraWebView>(
            &config_, &bundle_, nullptr, ToNarrow(app_.Path().wstring()) + "\\", "www\\", nullptr,
            ToNarrow((app_.Path() / "data").wstring()));
        host_->bundleMapping = bundleMapping_;
        host_->environment =
            resource_requests::CreateEnvironment(loader_, (app_.Path() / "data").wstring());
        ASSERT_NE(host_->environment, nullptr);
        host_->environment->CreateWebResourceResponse(nullptr, 500, L"Internal Server Error",
                                                      L"Cache-Control: no-store",
                                                      &host_->serverErrorResponse);
    }
    void TearDown() override {
        if (host_ != nullptr) host_->CloseMappedFiles();
        bundle_.Clear();
        bundleMapping_.reset();
        host_.reset();
        if (comInitialized_) CoUninitialize();
    }

    bool comInitialized_ = false;
    WebView2Loader loader_;
    TempFolder app_{"host-bodies-test"};
    const std::string movie_ = Pattern(300000, 5);
    const std::string loose_ = Pattern(70000, 9);
    fs::path bundlePath_;
    fs::path loosePath_;
    AssetBundle bundle_;
    std::shared_ptr<const SharedMapping> bundleMapping_;
    AppConfig config_;
    std::unique_ptr<VeltraWebView> host_;
};

TEST_F(HostBodies, EveryKindOfBodyIsAgileAndReadsItsBytesOnAnotherThread) {
    struct Row {
        const char* key;
        const char* range;
        int status;
        std::string bytes;
    };
    const std::vector<Row> rows = {
        {"movie.bin", "", 200, movie_},
        {"movie.bin", "bytes=1000-1999", 206, movie_.substr(1000, 1000)},
        {"loose.bin", "", 200, loose_},
        {"loose.bin", "bytes=0-", 206, loose_},
        {"loose.bin", "bytes=-10", 206, loose_.substr(loose_.size() - 10)},
        {"missing.bin", "", 404, "File not found"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.key) + " " + row.range);
        const Answered answer = Ask(*host_, row.key, row.range);
        EXPECT_EQ(answer.status, row.status);
        ASSERT_NE(answer.body, nullptr);
        EXPECT_TRUE(IsAgile(answer.body.Get()));
        std::string readThere;
        std::thread([&] {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            readThere = ReadRest(answer.body.Get(), 65536);
            CoUninitialize();
        }).join();
        EXPECT_EQ(readThere, row.bytes);
    }
    // The 500 has no body at all.
    SetEnvironmentVariableW(L"WRAPPER_TEST_NO_BODY_STREAM", L"loose.bin");
    const Answered failed = Ask(*host_, "loose.bin");
    SetEnvironmentVariableW(L"WRAPPER_TEST_NO_BODY_STREAM", nullptr);
    EXPECT_EQ(failed.status, 500);
    EXPECT_EQ(failed.body, nullptr);
}

TEST_F(HostBodies, EveryRequestGetsAnAnswerOfItsOwn) {
    // A response that cannot be set: a 500 made for this request takes its place.
    const Answered refused = Ask(*host_, "index.html", "", 1);
    EXPECT_EQ(refused.status, 500);
    EXPECT_NE(refused.response.Get(), host_->serverErrorResponse.Get());
    EXPECT_EQ(refused.body, nullptr);
    // Handling that throws: each request gets a 500 of its own.
    SetEnvironmentVariableW(L"WRAPPER_TEST_THROW_IN_REQUEST", L"index.html");
    const Answered first = Ask(*host_, "index.html");
    const Answered second = Ask(*host_, "index.html");
    EXPECT_EQ(first.status, 500);
    EXPECT_EQ(second.status, 500);
    EXPECT_NE(first.response.Get(), second.response.Get());
    EXPECT_NE(first.response.Get(), host_->serverErrorResponse.Get());
    // Without an environment to make one, the prepared 500.
    ComPtr<ICoreWebView2Environment> environment = std::move(host_->environment);
    EXPECT_EQ(Ask(*host_, "index.html").response.Get(), host_->serverErrorResponse.Get());
    SetEnvironmentVariableW(L"WRAPPER_TEST_THROW_IN_REQUEST", nullptr);
    EXPECT_EQ(Ask(*host_, "index.html").response.Get(), host_->serverErrorResponse.Get());
    host_->environment = environment;
}

bool IsMapped(const void* address) {
    MEMORY_BASIC_INFORMATION info{};
    return VirtualQuery(address, &info, sizeof info) == sizeof info && info.State == MEM_COMMIT &&
           info.Type == MEM_MAPPED;
}

TEST_F(HostBodies, StreamsOutliveTheHostsTeardownAndLooseFilesStayFreeToRewrite) {
    // A bundle answer and loose answers are taken, then the host tears down (the bundle's
    // directory and the last owner's reference to its mapping, the host itself) while the
    // streams are still held, as a runtime may hold them.
    ComPtr<IStream> bundleBody = Ask(*host_, "movie.bin").body;
    ComPtr<IStream> looseBody = Ask(*host_, "loose.bin", "bytes=1000-").body;
    ComPtr<IStream> looseWhole = Ask(*host_, "loose.bin").body;
    ASSERT_NE(bundleBody, nullptr);
    ASSERT_NE(looseBody, nullptr);
    ASSERT_NE(looseWhole, nullptr);
    const void* bundleView = bundleMapping_->View();
    // Part of each body is read before the teardown, the rest after it.
    EXPECT_EQ(ReadFrom(bundleBody.Get(), 1000).bytes, movie_.substr(0, 1000));
    EXPECT_EQ(ReadFrom(looseBody.Get(), 1000).bytes, loose_.substr(1000, 1000));
    TearDown();
    EXPECT_TRUE(IsMapped(bundleView));
    EXPECT_FALSE(DeleteFileW(bundlePath_.wstring().c_str())) << "held by the bundle's stream";
    EXPECT_EQ(ReadRest(bundleBody.Get()), movie_.substr(1000));

    // An editor rewrites the loose file in place, truncating it, while its bodies are held: the
    // rewrite works, and the bodies read the file as it is now.
    const std::string rewritten = Pattern(1500, 77);
    HANDLE editor = CreateFileW(loosePath_.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(editor, INVALID_HANDLE_VALUE) << GetLastError();
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(editor, rewritten.data(), 1500, &written, nullptr));
    CloseHandle(editor);
    EXPECT_EQ(ReadFrom(looseWhole.Get(), 1500).bytes, rewritten);
    EXPECT_EQ(ReadFrom(looseBody.Get(), 1000).result, STG_E_READFAULT) << "past the new end";

    // A clone keeps the bundle's mapping as well; the last release closes it.
    ComPtr<IStream> clone;
    ASSERT_HRESULT_SUCCEEDED(bundleBody->Clone(&clone));
    bundleBody.Reset();
    EXPECT_TRUE(IsMapped(bundleView));
    clone->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(ReadRest(clone.Get()), movie_);
    clone.Reset();
    EXPECT_FALSE(IsMapped(bundleView));
    EXPECT_TRUE(DeleteFileW(bundlePath_.wstring().c_str())) << GetLastError();
    // The loose file can even be deleted while its bodies are held.
    EXPECT_TRUE(DeleteFileW(loosePath_.wstring().c_str())) << GetLastError();
    looseBody.Reset();
    looseWhole.Reset();
}

}  // namespace
