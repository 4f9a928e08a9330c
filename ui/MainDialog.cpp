#include "ui/MainDialog.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "algorithms/DigestFind.h"
#include "algorithms/SumsFile.h"
#include "job/Messages.h"
#include "resources/resource.h"
#include "support/LongPath.h"
#include "ui/AboutDialog.h"
#include "ui/AccessibleName.h"
#include "ui/Base64Dialog.h"
#include "ui/DisplayScale.h"
#include "ui/PaneAccessibility.h"
#include "ui/ResultPane.h"

namespace {

enum class ExchangeKind { RadioIndex, CheckState, ControlHandle, Text };

struct ExchangeRow {
    int controlId;
    ExchangeKind kind;
    std::int32_t MainDialog::*number;  // RadioIndex, CheckState
    HWND MainDialog::*handle;          // ControlHandle
    WideString MainDialog::*text;      // Text
};


// Controls that could start a request, disabled while a job runs, in this order.
const int kBusySet[] = {IDC_PATH,  IDC_BROWSE, IDC_ABOUT,  IDC_MD5,          IDC_SHA1,
                        IDC_CRC32, IDC_SHA256, IDC_SHA512, IDC_SUBDIRECTORY, IDC_BASE64};

// Pending lines and steps are shown by the flush timer, in ticks of at most
// LineStreamer::kTickBudgetMs, never while the user's input waits: WM_TIMER
// comes only when no other message does. While nothing waits, a posted kick
// starts the next tick at once instead of a timer period later.
constexpr UINT_PTR kFlushTimerId = 1;
constexpr UINT kFlushIntervalMs = USER_TIMER_MINIMUM;
constexpr UINT kShowPendingKick = WM_APP + 1;

double NowMs() {
    static const double msPerCount = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return 1000.0 / static_cast<double>(frequency.QuadPart);
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * msPerCount;
}

// Walks the radio group that starts at `first`: its following siblings in
// window order up to the next WS_GROUP control, counting radio buttons only.
void ExchangeRadioIndex(HWND first, bool save, std::int32_t& index) {
    if (save) index = -1;
    std::int32_t position = 0;
    for (HWND control = first; control != nullptr;) {
        if (SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) {
            if (save) {
                if (index < 0 && SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED) {
                    index = position;
                }
            } else {
                SendMessageW(control, BM_SETCHECK, position == index ? BST_CHECKED : BST_UNCHECKED, 0);
            }
            ++position;
        }
        control = GetWindow(control, GW_HWNDNEXT);
        if (control != nullptr && (GetWindowLongW(control, GWL_STYLE) & WS_GROUP)) break;
    }
}

bool ReadText(HWND control, WideString& text) {
    const int length = GetWindowTextLengthW(control);
    std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
    const int read = GetWindowTextW(control, buffer.data(), length + 1);
    if (read < length) return false;
    buffer.resize(static_cast<std::size_t>(read));
    text = WideString(std::move(buffer));
    return true;
}

// The pane's font, Courier New of 9 points, at `dpi`.
FontHandle PaneFont(UINT dpi) {
    LOGFONTW description{};
    description.lfHeight = -12;  // at 96 DPI
    lstrcpynW(description.lfFaceName, L"Courier New", LF_FACESIZE);
    return ScaledFont(description, kDefaultDpi, dpi);
}

// What assistive technology calls the controls whose text is no name.
const ControlName kControlNames[] = {
    {IDC_PATH, IDS_NAME_PATH}, {IDC_BROWSE, IDS_NAME_BROWSE}, {IDC_PROGRESS, IDS_NAME_PROGRESS}};

void DeleteLine(LPARAM lParam) { delete reinterpret_cast<WideString*>(lParam); }

// Whether `path` names a file or folder, however long it is.
bool Exists(const WideString& path) {
    return GetFileAttributesW(ResolvedPath(path.view()).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// List entries are exact names. INVALID_FILE_ATTRIBUTES has the directory bit
// set: a name that names nothing is hashed, and gets no line.
bool IsSumsFile(const WideString& item) {
    return IsSumsFileName(item.view()) &&
           (GetFileAttributesW(ExactPath(item.view()).c_str()) & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

MainDialog::MainDialog(std::vector<WideString> arguments, const JobSettings& settings)
    : stream(&NowMs, {[this](const wchar_t* text) { InsertAtEnd(text); }, [this] { RepaintPane(); }}),
      arguments(std::move(arguments)), jobSettings(settings) {
    // The template names the pane's class: it must exist before the dialog does.
    RegisterResultPane();
}

MainDialog::~MainDialog() = default;

bool MainDialog::HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                               DWORD mapId) {
    static const MessageRoute<MainDialog> table[] = {
        {WM_INITDIALOG, 0, &MainDialog::HandleInit},
        {WM_COMMAND, IDC_ABOUT, &MainDialog::HandleAbout},
        {WM_COMMAND, IDOK, &MainDialog::HandleEnter},
        {WM_COMMAND, IDCANCEL, &MainDialog::HandleClose},
        {WM_COMMAND, IDC_BASE64, &MainDialog::HandleBase64},
        {WM_COMMAND, IDC_BROWSE, &MainDialog::HandleBrowse},
        {WM_COMMAND, IDC_CLEAR, &MainDialog::HandleClear},
        {WM_COMMAND, IDC_MD5, &MainDialog::HandleDigestChoice},
        {WM_COMMAND, IDC_SHA1, &MainDialog::HandleDigestChoice},
        {WM_COMMAND, IDC_CRC32, &MainDialog::HandleDigestChoice},
        {WM_COMMAND, IDC_SHA256, &MainDialog::HandleDigestChoice},
        {WM_COMMAND, IDC_SHA512, &MainDialog::HandleDigestChoice},
        {WM_DROPFILES, 0, &MainDialog::HandleDrop},
        {WM_DPICHANGED, 0, &MainDialog::HandleDpiChanged},
        {UM_PROGRESS_RANGE, 0, &MainDialog::HandleProgressRange},
        {UM_PROGRESS_STEP, 0, &MainDialog::HandleProgressStep},
        {UM_JOB_DONE, 0, &MainDialog::HandleJobDone},
        {UM_APPEND_TEXT, 0, &MainDialog::HandleAppendText},
        {WM_TIMER, 0, &MainDialog::HandleFlushTimer},
        {kShowPendingKick, 0, &MainDialog::HandleFlushTimer},
    };
    return Dispatch(*this, table, message, wParam, lParam, result, mapId);
}

LRESULT MainDialog::HandleInit(WPARAM, LPARAM) {
    CenterOnOwner(window);

    const HINSTANCE instance = ModuleRecord::Current().ResourceInstance();
    const auto loadIcon = [instance](int width, int height) {
        return reinterpret_cast<LPARAM>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                                   width, height, LR_DEFAULTCOLOR));
    };
    SendMessageW(window, WM_SETICON, ICON_BIG,
                 loadIcon(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)));
    SendMessageW(window, WM_SETICON, ICON_SMALL,
                 loadIcon(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)));

    ExchangeData(false);
    DragAcceptFiles(window, TRUE);
    NameControls(window, kControlNames);
    AttachPaneText(outputPane, paneText);
    ScaleOwnFonts(Dpi());
    ProcessCommandLine();
    return TRUE;
}

void MainDialog::ScaleOwnFonts(UINT newDpi) {
    FontHandle font = PaneFont(newDpi);
    if (!font) return;
    SendMessageW(outputPane, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    paneFont = std::move(font);  // the pane has let go of the previous one
}

void MainDialog::ProcessCommandLine() {
    if (arguments.size() < 2) return;
    pathList.clear();
    // The job takes list entries as exact names, as a drop gives them, so
    // each argument is resolved here, against the start's current folder.
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring resolved = ResolvedPath(arguments[i].view());
        if (GetFileAttributesW(resolved.c_str()) != INVALID_FILE_ATTRIBUTES)
            pathList.emplace_back(OrdinaryForm(resolved));
    }
    if (pathList.empty()) return;
    pathText = pathList.front();
    ExchangeData(false, IDC_PATH);
    if (StartListJob()) {
        // The path box is disabled, so the dialog manager is about to focus
        // the first enabled tab stop ("Cls", where Space empties the pane);
        // the job's end moves the focus on as after Enter.
        focusBeforeJob = pathEdit;
        focusWhileBusy = GetNextDlgTabItem(window, nullptr, FALSE);
    }
}

LRESULT MainDialog::HandleAbout(WPARAM, LPARAM) {
    AboutDialog about;
    about.RunModal(IDD_ABOUT, GetActiveWindow());
    return 0;
}

LRESULT MainDialog::HandleBase64(WPARAM, LPARAM) {
    Base64Dialog base64;
    base64.RunModal(IDD_BASE64, window);
    return 0;
}

LRESULT MainDialog::HandleEnter(WPARAM, LPARAM) {
    if (GetFocus() != pathEdit || busy) return 0;
    ExchangeData(true, IDC_PATH);
    // A name that exists is hashed, whatever it looks like.
    if (!Exists(pathText) && IsDigestText(pathText.view()))
        FindDigest();
    else
        StartPathJob();
    return 0;
}

LRESULT MainDialog::HandleDigestChoice(WPARAM, LPARAM) {
    // While busy the worker reads pathText; the buttons are disabled then, but
    // a command may still arrive from outside.
    if (busy) return 0;
    ExchangeData(true);
    const DWORD attributes = GetFileAttributesW(ResolvedPath(pathText.view()).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        StartPathJob();
    }
    return 0;
}

bool MainDialog::StartPathJob() { return StartJob(false); }

bool MainDialog::StartListJob() { return StartJob(true, pathList.size() == 1 && IsSumsFile(pathList.front())); }

bool MainDialog::StartJob(bool list, bool check) {
    if (busy) return false;
    const HCURSOR previousCursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    ExchangeData(true);

    bool started = false;
    const bool validAlgorithm = algorithm >= 0 && algorithm < kDigestCount;
    if (validAlgorithm &&
        (list || Exists(pathText))) {
        focusBeforeJob = GetFocus();
        jobLines = 0;
        SetBusy(true);
        focusWhileBusy = GetFocus();
        DragAcceptFiles(window, FALSE);
        const auto digest = static_cast<DigestAlgorithm>(algorithm);
        const bool subdirectories = includeSubdirectories != 0;
        // The job keeps its own copy of the request; the next one builds a new list.
        started = check  ? job.StartCheck(window, pathList.front(), jobSettings)
                  : list ? job.StartList(digest, subdirectories, window, std::move(pathList), jobSettings)
                         : job.StartPath(digest, subdirectories, window, pathText, jobSettings);
        if (!started) {
            // No worker means no UM_JOB_DONE will ever come to end the busy state.
            SetBusy(false);
            DragAcceptFiles(window, TRUE);
        }
    }
    SetCursor(previousCursor);
    return started;
}

void MainDialog::SetBusy(bool nowBusy) {
    busy = nowBusy;
    for (const int id : kBusySet) EnableWindow(GetDlgItem(window, id), busy ? FALSE : TRUE);
}

LRESULT MainDialog::HandleClose(WPARAM, LPARAM) {
    if (job.IsActive()) job.Finish();
    // The worker has ended: nothing more is posted. Lines it left in the queue
    // would never be handled once the modal run is over, so free them now.
    MSG queued;
    while (PeekMessageW(&queued, window, UM_APPEND_TEXT, UM_APPEND_TEXT, PM_REMOVE)) {
        DeleteLine(queued.lParam);
    }
    EndDialog(window, IDCANCEL);
    return 0;
}

bool MainDialog::ExchangeData(bool save, int controlId) {
    // The table's rows, in the order they run.
    static const ExchangeRow kExchangeRows[] = {
        {IDC_MD5, ExchangeKind::RadioIndex, &MainDialog::algorithm, nullptr, nullptr},
        {IDC_SUBDIRECTORY, ExchangeKind::CheckState, &MainDialog::includeSubdirectories, nullptr, nullptr},
        {IDC_PATH, ExchangeKind::ControlHandle, nullptr, &MainDialog::pathEdit, nullptr},
        {IDC_OUTPUT, ExchangeKind::ControlHandle, nullptr, &MainDialog::outputPane, nullptr},
        {IDC_PATH, ExchangeKind::Text, nullptr, nullptr, &MainDialog::pathText},
        {IDC_PROGRESS, ExchangeKind::ControlHandle, nullptr, &MainDialog::progressBar, nullptr},
    };
    for (const ExchangeRow& row : kExchangeRows) {
        if (controlId != -1 && row.controlId != controlId) continue;
        HWND control = GetDlgItem(window, row.controlId);
        bool ok = true;
        switch (row.kind) {
        case ExchangeKind::RadioIndex:
            ExchangeRadioIndex(control, save, this->*row.number);
            break;
        case ExchangeKind::CheckState: {
            std::int32_t& state = this->*row.number;
            if (save) {
                state = static_cast<std::int32_t>(SendMessageW(control, BM_GETCHECK, 0, 0));
            } else {
                if (state < BST_UNCHECKED || state > BST_INDETERMINATE) state = BST_UNCHECKED;
                SendMessageW(control, BM_SETCHECK, static_cast<WPARAM>(state), 0);
            }
            break;
        }
        case ExchangeKind::ControlHandle: {
            if (!save && this->*row.handle == nullptr) this->*row.handle = control;
            break;
        }
        case ExchangeKind::Text:
            ok = save ? ReadText(control, this->*row.text)
                      : SetDlgItemTextW(window, row.controlId, (this->*row.text).c_str()) != FALSE;
            break;
        }
        if (!ok) {
            MessageBeep(0xFFFFFFFF);
            SetFocus(control);
            return false;
        }
    }
    return true;
}

LRESULT MainDialog::HandleProgressRange(WPARAM wParam, LPARAM lParam) {
    pendingSteps = 0;  // the position starts again from 0
    SendMessageW(progressBar, PBM_SETRANGE32, wParam, lParam);
    SendMessageW(progressBar, PBM_SETPOS, 0, 0);
    SendMessageW(progressBar, PBM_SETSTEP, 1, 0);
    return 0;
}

LRESULT MainDialog::HandleProgressStep(WPARAM wParam, LPARAM) {
    pendingSteps += static_cast<std::uint32_t>(wParam);
    SchedulePending();
    return 0;
}

LRESULT MainDialog::HandleAppendText(WPARAM, LPARAM lParam) {
    const std::unique_ptr<WideString> line(reinterpret_cast<WideString*>(lParam));
    if (!line) return 0;
    const std::wstring_view lines = line->view();
    jobLines += static_cast<std::size_t>(std::count(lines.begin(), lines.end(), L'\n'));
    stream.Append(lines);
    SchedulePending();
    return 0;
}

LRESULT MainDialog::HandleFlushTimer(WPARAM wParam, LPARAM) {
    if (wParam != kFlushTimerId) return 0;
    kickPosted = false;
    ShowPending();
    if (stream.AllShown() && pendingSteps == 0) {
        // All shown: no timer while the worker is quiet.
        KillTimer(window, kFlushTimerId);
        flushTimerRunning = false;
        if (endingJob) EndJob();
    } else {
        SchedulePending();
    }
    return 0;
}

void MainDialog::SchedulePending() {
    if (!flushTimerRunning) flushTimerRunning = SetTimer(window, kFlushTimerId, kFlushIntervalMs, nullptr) != 0;
    // Posted messages come before input and paint: kick only while neither waits.
    if (!kickPosted && !stream.AllShown() && HIWORD(GetQueueStatus(QS_INPUT | QS_PAINT)) == 0)
        kickPosted = PostMessageW(window, kShowPendingKick, kFlushTimerId, 0) != FALSE;
    while (!flushTimerRunning && !kickPosted && (!stream.AllShown() || pendingSteps != 0))
        ShowPending();
}

void MainDialog::ShowPending() {
    const double start = NowMs();
    if (pendingSteps != 0) {
        AdvanceBar(pendingSteps);
        pendingSteps = 0;
        UpdateWindow(progressBar);  // its paint would otherwise hold back the kick
    }
    Shown(stream.Tick(start));
}

void MainDialog::InsertAtEnd(const wchar_t* text) {
    // The user's selection gives way to the end of the text, once a tick.
    const int length = GetWindowTextLengthW(outputPane);
    SendMessageW(outputPane, EM_SETSEL, static_cast<WPARAM>(length), length);
    SendMessageW(outputPane, WM_SETREDRAW, FALSE, 0);
    SendMessageW(outputPane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    SendMessageW(outputPane, WM_SETREDRAW, TRUE, 0);
}

void MainDialog::RepaintPane() {
    SendMessageW(outputPane, EM_SCROLLCARET, 0, 0);
    RedrawWindow(outputPane, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
}

void MainDialog::Shown(std::size_t chars) { job.Shown(chars); }

void MainDialog::AdvanceBar(std::uint32_t steps) {
    PBRANGE range{};
    SendMessageW(progressBar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    const auto position = static_cast<std::int64_t>(SendMessageW(progressBar, PBM_GETPOS, 0, 0));
    const auto step = static_cast<std::int64_t>(SendMessageW(progressBar, PBM_GETSTEP, 0, 0));
    const std::int64_t target = position + step * steps;
    if (target <= range.iHigh) {
        SendMessageW(progressBar, PBM_SETPOS, static_cast<WPARAM>(target), 0);
    } else {
        // Past the upper limit the bar starts again from the bottom, as
        // PBM_STEPIT does: leave that arithmetic to the control.
        for (std::uint32_t i = 0; i < steps; ++i) SendMessageW(progressBar, PBM_STEPIT, 0, 0);
    }
}

LRESULT MainDialog::HandleJobDone(WPARAM, LPARAM) {
    pendingSteps = 0;
    PBRANGE range{};
    SendMessageW(progressBar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    SendMessageW(progressBar, PBM_SETPOS, static_cast<WPARAM>(range.iHigh), 0);
    job.Finish();
    // The job ends for the user with its last line shown.
    endingJob = true;
    if (stream.AllShown()) EndJob();
    return 0;
}

void MainDialog::EndJob() {
    endingJob = false;
    const HWND focusNow = GetFocus();
    SetBusy(false);
    DragAcceptFiles(window, TRUE);
    // Disabling the focused control left the focus nowhere; give it back
    // unless the user has put it somewhere else meanwhile.
    if (focusBeforeJob && focusNow == focusWhileBusy && IsWindowEnabled(focusBeforeJob))
        SetFocus(focusBeforeJob);
    // After the focus has moved, whose own announcement would cut this one short.
    AnnounceJobEnd(window, jobLines);
}

LRESULT MainDialog::HandleClear(WPARAM, LPARAM) {
    // Lines received before the click are cleared with the rest.
    Shown(stream.Clear());
    SetWindowTextW(outputPane, L"");
    if (endingJob) EndJob();
    return 0;
}
