#pragma once
// Checks a sums file on the worker thread: each entry is hashed with the
// digest its line names and compared with the digest it lists.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "algorithms/Digest.h"
#include "algorithms/SumsFile.h"
#include "job/FileHasher.h"
#include "job/JobReporter.h"
#include "support/WideString.h"

class SumsCheck {
public:
    // Entries are hashed by `hasher`, each with the digest its line names; the
    // sums file is read as the job's settings say. Verdicts and progress go
    // to `reporter`.
    SumsCheck(FileHasher& hasher, JobReporter& reporter);

    // Checks the sums file at `sumsFile`, an exact name: each entry gets a
    // verdict line, in the file's order, then the file gets its skipped lines
    // and tally (SumsTallyLines).
    // A sums file that cannot be opened gets no line, as a single file would
    // not. The progress units are the file's kSumsSliceBytes slices. Entries
    // are hashed a batch at a time, so memory follows the batch, not the file.
    void Run(const WideString& sumsFile);

private:
    // An entry of the sums file being checked, waiting in its batch.
    struct CheckEntry {
        DigestAlgorithm algorithm;
        std::wstring expectedHex;
        WideString path;  // the extended form; a device as written
        bool device;
        // Progress units done once this entry is: the slices read before its line ended.
        std::uint64_t unitsBefore;
    };

    // Hashes the entries gathered in checkBatch, posts their verdicts and
    // empties it; `unitsDone` is the progress reached once it is done.
    void CheckBatch(std::uint64_t unitsDone);
    // Posts one entry's verdict from its digest and how its hashing went.
    void FinishEntry(const CheckEntry& entry, const Digest& result, FileOutcome outcome);
    bool Cancelled() const { return hasher.Cancelled(); }

    FileHasher& hasher;
    JobReporter& reporter;
    std::vector<CheckEntry> checkBatch;
    std::uint64_t checkUnitsPosted = 0;
    SumsTally tally;
};
