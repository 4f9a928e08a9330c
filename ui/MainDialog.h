#pragma once
// The program's main window: path box, digest choice, output pane and
// progress bar, and the one hashing job.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "job/HashJob.h"
#include "support/PathList.h"
#include "support/UniqueHandle.h"
#include "support/WideString.h"
#include "ui/Dialog.h"
#include "ui/LineStreamer.h"
#include "ui/PaneText.h"

class MainDialog : public Dialog {
public:
    // `arguments` is the process's argument vector, the program's own path
    // first; the arguments after it are hashed at start-up. Every job runs
    // with `jobSettings` (tests give their own).
    explicit MainDialog(std::vector<WideString> arguments = {}, const JobSettings& jobSettings = {});
    ~MainDialog() override;

    bool HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                       DWORD mapId) override;

private:
    // Start a request from the controls' state; ignored while busy.
    // Return whether a job was started (a failed start leaves the dialog idle).
    bool StartPathJob();
    // Hashes pathList, or checks it instead when it holds exactly one sums
    // file (by its name, and not a folder).
    bool StartListJob();
    // Disables (busy) or enables the controls that could start a request.
    void SetBusy(bool nowBusy);
    // Runs the control data-exchange table from the controls into the fields
    // (save) or back, for every row (controlId -1) or only that control's rows.
    // On a failed row: beep, focus that control, skip the rest, return false.
    bool ExchangeData(bool save, int controlId = -1);

    // Handlers of the message table.
    LRESULT HandleInit(WPARAM, LPARAM);
    LRESULT HandleAbout(WPARAM, LPARAM);
    LRESULT HandleEnter(WPARAM, LPARAM);
    LRESULT HandleClose(WPARAM, LPARAM);
    LRESULT HandleBase64(WPARAM, LPARAM);
    LRESULT HandleBrowse(WPARAM, LPARAM);
    LRESULT HandleClear(WPARAM, LPARAM);
    LRESULT HandleDigestChoice(WPARAM, LPARAM);
    LRESULT HandleDrop(WPARAM, LPARAM);
    LRESULT HandleProgressRange(WPARAM, LPARAM);
    LRESULT HandleProgressStep(WPARAM, LPARAM);
    LRESULT HandleJobDone(WPARAM, LPARAM);
    LRESULT HandleAppendText(WPARAM, LPARAM);
    LRESULT HandleFlushTimer(WPARAM, LPARAM);
    void ScaleOwnFonts(UINT newDpi) override;

    std::int32_t algorithm = DigestMd5;
    std::int32_t includeSubdirectories = 0;
    HWND pathEdit = nullptr;
    HWND outputPane = nullptr;
    HWND progressBar = nullptr;
    WideString pathText;
    PathList pathList;
    // The output pane's text: the pane shows it from WM_INITDIALOG on, and the
    // digest find reads it here. It outlives the pane window.
    PaneText paneText;
    // The pane's font at the dialog's DPI; it outlives the pane window too.
    FontHandle paneFont;

    void ProcessCommandLine();
    bool StartJob(bool list, bool check = false);
    // Enter with a digest in the path box: selects the next result or verdict
    // line with that digest after the pane's selection, or beeps.
    void FindDigest();
    // Shows what the worker reported since the last call: its steps on the
    // bar, and its result lines at the end of the pane, as many as fit in one
    // tick's time budget.
    void ShowPending();
    // The stream's sink: the pane's part of a tick.
    void InsertAtEnd(const wchar_t* text);
    void RepaintPane();
    // Makes sure the flush timer (or, while no input or paint waits, a posted
    // kick) will show pending work.
    void SchedulePending();
    // Drops `chars` characters from the count of those not yet shown.
    void Shown(std::size_t chars);
    void AdvanceBar(std::uint32_t steps);
    // Back to idle once the ended job's last line is shown.
    void EndJob();

    // The worker's lines and steps wait here until the flush timer shows them:
    // each move of the bar repaints it at once, and the pane is cheapest fed
    // in large inserts.
    LineStreamer stream;
    std::uint32_t pendingSteps = 0;
    bool flushTimerRunning = false;
    bool kickPosted = false;
    bool endingJob = false;
    // From a job's start until its end is handled, last line shown: the
    // worker may be gone well before that.
    bool busy = false;
    // Result lines the running or last job gave, told at its end.
    std::size_t jobLines = 0;

    std::vector<WideString> arguments;
    // Where the focus was when the running job started, and where disabling
    // the busy controls left it.
    HWND focusBeforeJob = nullptr;
    HWND focusWhileBusy = nullptr;

    // How every job of this dialog reads, hashes and posts.
    const JobSettings jobSettings;

public:
    // The job the dialog runs; tests ask whether it is still active.
    HashJob job;
    std::size_t JobLines() const { return jobLines; }
};
