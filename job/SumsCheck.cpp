// Checking a sums file: each entry is hashed with the digest its line names
// and compared with the digest it lists.
#include <algorithm>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "algorithms/SumsFile.h"
#include "job/HashJob.h"
#include "job/HashPipeline.h"
#include "job/Messages.h"
#include "support/LongPath.h"

namespace {

// Entries hashed at a time: memory follows the batch, not the sums file, and
// a batch keeps several hashers busy.
constexpr std::size_t kBatchEntries = 4096;

std::wstring AnsiText(std::string_view bytes) {
    // A line is at most kMaxSumsLineBytes long, so its length fits an int.
    const int length = static_cast<int>(bytes.size());
    if (length == 0) return {};
    std::wstring text(static_cast<std::size_t>(::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0)),
                      L'\0');
    if (text.empty()) return {};
    ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, text.data(), static_cast<int>(text.size()));
    return text;
}

// Reads `file` from its start, as far as `size` (its length at open), handing
// it to `take` slice by slice until `take` returns false. A read that fails
// or comes up short ends the text there. False after a cancel.
template <typename Take>
bool ReadSlices(const HashJob& job, HANDLE file, std::uint64_t size, std::vector<std::uint8_t>& buffer, Take take) {
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return true;
    for (std::uint64_t left = size; left != 0;) {
        if (job.cancelRequested) return false;
        const DWORD length = static_cast<DWORD>(std::min<std::uint64_t>(left, buffer.size()));
        if (!ReadFully(job.readFile, file, buffer.data(), length)) return true;
        left -= length;
        for (DWORD done = 0; done < length; done += kSumsSliceBytes)
            if (!take(buffer.data() + done, std::min<DWORD>(kSumsSliceBytes, length - done)))
                return job.cancelRequested == 0;
    }
    return true;
}

}  // namespace

void HashJob::RunCheck() {
    const WideString exact(ExactPath(path->view()));
    std::uint64_t size = 0;
    const FileHandle sums = OpenForHashing(exact, size);
    if (!sums) return;
    const std::wstring full = OrdinaryForm(exact.view());
    const std::uint64_t units = (size + kSumsSliceBytes - 1) / kSumsSliceBytes;
    PostReliably(UM_PROGRESS_RANGE, 0, static_cast<LPARAM>(static_cast<std::uint32_t>(units)));
    std::vector<std::uint8_t> buffer(std::size_t{chunksPerRead} * chunkSize);

    // The encoding is decided once for the whole file, usually from its start.
    SumsEncodingDetector detector;
    const auto detect = [&](const std::uint8_t* bytes, DWORD length) {
        detector.Feed(bytes, length);
        return !detector.Decided();
    };
    if (!ReadSlices(*this, sums.get(), size, buffer, detect)) return;

    SumsReader reader(detector.Result(), SumsNameAlgorithm(full), &AnsiText);
    std::uint64_t slicesRead = 0;
    const SumsReader::Sink sink = [&](const SumsLine& line) {
        if (line.kind == SumsLineKind::Skipped) ++tally.skipped;
        if (line.kind != SumsLineKind::Entry) return;
        const SumsEntryPath where = ResolveSumsEntry(full, line.entry.name);
        checkBatch.push_back({line.entry.algorithm, line.entry.expectedHex,
                              WideString(where.device ? where.path : ExtendedForm(where.path)), where.device, false,
                              slicesRead});
    };
    const auto read = [&](const std::uint8_t* bytes, DWORD length) {
        reader.Feed(bytes, length, sink);
        ++slicesRead;
        if (checkBatch.size() >= kBatchEntries) CheckBatch(slicesRead);
        return cancelRequested == 0;
    };
    if (!ReadSlices(*this, sums.get(), size, buffer, read)) return;
    reader.Finish(sink);
    CheckBatch(units);
    if (cancelRequested) return;
    pendingLines += SumsTallyLine(tally, full);
}

void HashJob::CheckBatch(std::uint64_t unitsDone) {
    std::size_t done = 0;
    bool piped = false;
    const std::uint32_t hashers = Hashers();
    if (hashers > 1 && checkBatch.size() > 1) {
        PathList paths;
        std::vector<DigestAlgorithm> algorithms;
        algorithms.reserve(checkBatch.size());
        for (const CheckEntry& entry : checkBatch) {
            paths.push_back(entry.path);
            algorithms.push_back(entry.algorithm);
        }
        HashPipeline pipeline({DigestMd5, hashers, chunkSize, chunksPerRead * chunkSize, readFile, &cancelRequested,
                               hasherHook, &algorithms});
        // The pipeline opens the entries in order on this thread, and hands
        // their outcomes back in the same order.
        std::size_t opened = 0;
        const auto open = [&](const WideString& file, std::uint64_t& length) {
            CheckEntry& entry = checkBatch[opened++];
            if (entry.device) return FileHandle();
            FileHandle handle = OpenForHashing(file, length);
            entry.opened = static_cast<bool>(handle);
            return handle;
        };
        const auto finished = [&](const Digest& result, bool ok) {
            Digest ended = result;
            FinishEntry(checkBatch[done++], ended, ok);
        };
        piped = pipeline.Run(paths, open, finished, [this] { ReportIfDue(); });
    }
    for (; !piped && done < checkBatch.size() && !cancelRequested; ++done) {
        CheckEntry& entry = checkBatch[done];
        bool ok = false;
        if (!entry.device) {
            std::uint64_t length = 0;
            digest.Init(entry.algorithm);
            const FileHandle file = OpenForHashing(entry.path, length);
            entry.opened = static_cast<bool>(file);
            ok = file && DigestFile(file.get(), length);
        }
        FinishEntry(entry, digest, ok);
    }
    checkBatch.clear();
    if (cancelRequested) return;
    pendingUnits += static_cast<std::uint32_t>(unitsDone - checkUnitsPosted);
    checkUnitsPosted = unitsDone;
    ReportIfDue();
}

void HashJob::FinishEntry(CheckEntry& entry, Digest& result, bool ok) {
    SumsVerdict verdict = SumsVerdict::Missing;
    std::wstring hex(Digest::HexDigits(entry.algorithm), L'0');
    if (!entry.device && entry.opened) {
        hex = result.Hex(ok);
        verdict = ok && hex == entry.expectedHex ? SumsVerdict::Ok : SumsVerdict::Failed;
    }
    tally.Count(verdict);
    const bool first = tally.ok + tally.failed + tally.missing == 1;
    try {
        // A device is shown as written, escaped as any path.
        const std::wstring shown = entry.device ? EscapedText(entry.path.view()) : DisplayForm(entry.path.view());
        pendingLines += SumsVerdictLine(entry.algorithm, verdict, hex, shown);
    } catch (const std::bad_alloc&) {
        // Out of memory: this line is dropped; the check goes on.
    }
    pendingUnits += static_cast<std::uint32_t>(entry.unitsBefore - checkUnitsPosted);
    checkUnitsPosted = entry.unitsBefore;
    // The first line shows at once that the check is under way.
    if (first)
        FlushReports();
    else
        ReportIfDue();
}
