#include "job/SumsCheck.h"

#include <algorithm>
#include <new>
#include <utility>

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
bool ReadSlices(const FileHasher& hasher, HANDLE file, std::uint64_t size, std::vector<std::uint8_t>& buffer,
                Take take) {
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return true;
    for (std::uint64_t left = size; left != 0;) {
        if (hasher.Cancelled()) return false;
        const DWORD length = static_cast<DWORD>(std::min<std::uint64_t>(left, buffer.size()));
        if (!ReadFully(hasher.Settings().readFile, file, buffer.data(), length)) return true;
        left -= length;
        for (DWORD done = 0; done < length; done += kSumsSliceBytes)
            if (!take(buffer.data() + done, std::min<DWORD>(kSumsSliceBytes, length - done)))
                return !hasher.Cancelled();
    }
    return true;
}

}  // namespace

SumsCheck::SumsCheck(FileHasher& entryHasher, JobReporter& progress) : hasher(entryHasher), reporter(progress) {}

void SumsCheck::Run(const WideString& sumsFile) {
    const WideString exact(ExactPath(sumsFile.view()));
    std::uint64_t size = 0;
    const FileHandle sums = OpenForHashing(exact, size);
    if (!sums) return;
    const std::wstring full = OrdinaryForm(exact.view());
    const std::uint64_t units = (size + kSumsSliceBytes - 1) / kSumsSliceBytes;
    reporter.PostReliably(UM_PROGRESS_RANGE, 0, static_cast<LPARAM>(static_cast<std::uint32_t>(units)));
    std::vector<std::uint8_t> buffer(hasher.Settings().ReadBytes());

    // The encoding is decided once for the whole file, usually from its start.
    SumsEncodingDetector detector;
    const auto detect = [&](const std::uint8_t* bytes, DWORD length) {
        detector.Feed(bytes, length);
        return !detector.Decided();
    };
    if (!ReadSlices(hasher, sums.get(), size, buffer, detect)) return;

    SumsReader reader(detector.Result(), full, &AnsiText);
    std::uint64_t slicesRead = 0;
    const SumsReader::Sink sink = [&](const SumsLine& line) {
        tally.Note(line);
        if (line.kind != SumsLineKind::Entry) return;
        const SumsEntryPath where = ResolveSumsEntry(full, line.entry.name);
        checkBatch.push_back({line.entry.algorithm, line.entry.expectedHex,
                              WideString(where.device ? where.path : ExtendedForm(where.path)), where.device,
                              slicesRead});
    };
    const auto read = [&](const std::uint8_t* bytes, DWORD length) {
        reader.Feed(bytes, length, sink);
        ++slicesRead;
        if (checkBatch.size() >= kBatchEntries) CheckBatch(slicesRead);
        return !Cancelled();
    };
    if (!ReadSlices(hasher, sums.get(), size, buffer, read)) return;
    reader.Finish(sink);
    CheckBatch(units);
    if (Cancelled()) return;
    reporter.AddLines(SumsTallyLines(tally, full));
}

void SumsCheck::CheckBatch(std::uint64_t unitsDone) {
    std::vector<FileToHash> files;
    files.reserve(checkBatch.size());
    // A device is never opened: an empty path opens nothing.
    for (const CheckEntry& entry : checkBatch)
        files.push_back({entry.device ? WideString() : entry.path, entry.algorithm});
    std::size_t done = 0;
    hasher.Hash(files, [&](const FileToHash&, const Digest& result, FileOutcome outcome) {
        FinishEntry(checkBatch[done++], result, outcome);
    });
    checkBatch.clear();
    if (Cancelled()) return;
    reporter.AddUnits(static_cast<std::uint32_t>(unitsDone - checkUnitsPosted));
    checkUnitsPosted = unitsDone;
    reporter.FlushIfDue();
}

void SumsCheck::FinishEntry(const CheckEntry& entry, const Digest& result, FileOutcome outcome) {
    SumsVerdict verdict = SumsVerdict::Missing;
    std::wstring hex(Digest::HexDigits(entry.algorithm), L'0');
    if (outcome != FileOutcome::NotOpened) {
        const bool whole = outcome == FileOutcome::Whole;
        hex = result.Hex(whole);
        verdict = whole && hex == entry.expectedHex ? SumsVerdict::Ok : SumsVerdict::Failed;
    }
    tally.Count(verdict);
    const bool first = tally.ok + tally.failed + tally.missing == 1;
    try {
        // A device is shown as written, escaped as any path.
        const std::wstring shown = entry.device ? EscapedText(entry.path.view()) : DisplayForm(entry.path.view());
        reporter.AddLines(SumsVerdictLine(entry.algorithm, verdict, hex, shown));
    } catch (const std::bad_alloc&) {
        // Out of memory: this line is dropped; the check goes on.
    }
    reporter.AddUnits(static_cast<std::uint32_t>(entry.unitsBefore - checkUnitsPosted));
    checkUnitsPosted = entry.unitsBefore;
    // The first line shows at once that the check is under way.
    if (first)
        reporter.Flush();
    else
        reporter.FlushIfDue();
}
