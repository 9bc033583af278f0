// The failure sweep. A copy of the shipped kandu.exe, whose import table
// names the stand-in DLL (standin.cpp) instead of the system DLLs, runs one
// user session per planned failure: start, type into the three fields, read
// the result, change a value with Shift+Tab, close. Each run must end without
// a crash or a hang, with exit code 0 when its window was shown and 1 when
// not, with every typed text arriving once, with the right result after a
// single failure, and with none of its windows, classes or accelerator
// tables left at its end.
//   fault_sweep           every call site's first and last call, and GetMessageA
//                         after each kind of message, in both modes
//   fault_sweep --full    every call of the session by its number as well
//   fault_sweep --once N | --from N    one run
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <map>
#include <set>
#include <string>
#include <vector>
#include "calc/characteristic.h"
#include "calc/coefficient.h"
#include "tests/app/driver.h"
#include "tests/faults/fault_state.h"

namespace {

const DWORD DEADLINE_MS = 30000;

const char *const FUNCTION_NAME[] = {
#define FUNCTION_NAME_TEXT(name, kind) #name,
    FALLIBLE_FUNCTIONS(FUNCTION_NAME_TEXT)
#undef FUNCTION_NAME_TEXT
};

// Failing these leaves what they would have released; that is no leak.
bool releases(LONG function) {
    return function == F_DestroyWindow || function == F_DestroyAcceleratorTable ||
           function == F_UnregisterClassA || function == F_HeapFree || function == F_HeapDestroy;
}

std::string windows_path(std::string path) {
    if (path.empty() || path[0] != '/') return path;
    for (char &c : path)
        if (c == '/') c = '\\';
    return "Z:" + path;
}

std::string folder_of(const std::string &path) {
    return path.substr(0, path.find_last_of('\\'));
}

// The copy of the program: every import descriptor names the stand-in. Its
// name goes into the longest DLL name the table holds, so it always fits.
bool make_copy(const std::string &program, const std::string &standin, std::string *copy) {
    HANDLE file =
        CreateFileA(program.c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    if (file == INVALID_HANDLE_VALUE) return printf("cannot read %s\n", program.c_str()), false;
    std::vector<char> image(GetFileSize(file, 0));
    DWORD got = 0;
    ReadFile(file, image.data(), (DWORD)image.size(), &got, 0);
    CloseHandle(file);
    char *base = image.data();
    IMAGE_NT_HEADERS32 *nt = (IMAGE_NT_HEADERS32 *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_SECTION_HEADER *sections = IMAGE_FIRST_SECTION(nt);
    auto at = [&](DWORD rva) -> char * {
        for (int i = 0; i < nt->FileHeader.NumberOfSections; i++)
            if (rva >= sections[i].VirtualAddress &&
                rva < sections[i].VirtualAddress + sections[i].SizeOfRawData)
                return base + rva - sections[i].VirtualAddress + sections[i].PointerToRawData;
        return 0;
    };
    DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    HMODULE exports = LoadLibraryA(standin.c_str());
    if (!exports) return printf("cannot load %s\n", standin.c_str()), false;
    DWORD longest = 0;
    bool complete = true;
    for (IMAGE_IMPORT_DESCRIPTOR *dll = (IMAGE_IMPORT_DESCRIPTOR *)at(imports); dll->Name; dll++) {
        if (!longest || strlen(at(dll->Name)) > strlen(at(longest))) longest = dll->Name;
        DWORD names = dll->OriginalFirstThunk ? dll->OriginalFirstThunk : dll->FirstThunk;
        for (IMAGE_THUNK_DATA32 *thunk = (IMAGE_THUNK_DATA32 *)at(names); thunk->u1.AddressOfData;
             thunk++) {
            const char *name = IMAGE_SNAP_BY_ORDINAL32(thunk->u1.Ordinal)
                                   ? "(an import by ordinal)"
                                   : ((IMAGE_IMPORT_BY_NAME *)at(thunk->u1.AddressOfData))->Name;
            if (IMAGE_SNAP_BY_ORDINAL32(thunk->u1.Ordinal) || !GetProcAddress(exports, name)) {
                printf(
                    "kandu.exe imports %s from %s, which the stand-in does not export: add it to "
                    "standin.def, forwarded, or wrapped in standin.cpp when it can fail\n",
                    name, at(dll->Name));
                complete = false;
            }
        }
    }
    if (!complete) return false;
    char *name = at(longest);
    if (strlen(name) < sizeof STANDIN_DLL - 1)
        return printf("no room for the stand-in's name\n"), false;
    memset(name, 0, strlen(name));
    memcpy(name, STANDIN_DLL, sizeof STANDIN_DLL - 1);
    for (IMAGE_IMPORT_DESCRIPTOR *dll = (IMAGE_IMPORT_DESCRIPTOR *)at(imports); dll->Name; dll++)
        dll->Name = longest;

    char self[MAX_PATH];
    GetModuleFileNameA(0, self, sizeof self);
    std::string folder = folder_of(self) + "\\faults";
    CreateDirectoryA(folder.c_str(), 0);
    *copy = folder + "\\kandu.exe";
    file = CreateFileA(copy->c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
    DWORD written = 0;
    bool ok = file != INVALID_HANDLE_VALUE &&
              WriteFile(file, image.data(), (DWORD)image.size(), &written, 0) &&
              written == image.size();
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    ok = ok && CopyFileA(standin.c_str(), (folder + "\\" STANDIN_DLL).c_str(), FALSE);
    if (!ok) printf("cannot write the copy in %s\n", folder.c_str());
    return ok;
}

const char SWEEP_DESKTOP[] = "kandu-faults";

// The runs happen on a desktop of their own, which Wine shows as a virtual
// desktop of that size: the program's windows are then no X windows, and
// closing one does not wait two seconds for a window manager that Xvfb does
// not have. Input, the cursor and the foreground are the desktop's, so the
// sweep's own thread moves there too.
bool enter_own_desktop() {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Explorer\\Desktops", 0, 0, 0,
                        KEY_SET_VALUE, 0, &key, 0))
        return false;
    static const char SIZE[] = "800x600";
    RegSetValueExA(key, SWEEP_DESKTOP, 0, REG_SZ, (const BYTE *)SIZE, sizeof SIZE);
    RegCloseKey(key);
    HDESK desktop = CreateDesktopA(SWEEP_DESKTOP, 0, 0, 0, GENERIC_ALL, 0);
    return desktop && SetThreadDesktop(desktop);
}

// What went wrong in a run, by kind; a run counts once in each kind it shows.
enum Problem { CRASH, HANG, EXIT_CODE, TYPED_TEXT, RESULT, FOCUS, LEAK, UNSEEN, PROBLEM_KINDS };
const char *const PROBLEM_NAME[] = {"crashes",
                                    "hangs",
                                    "wrong exit codes",
                                    "typed texts lost or doubled",
                                    "wrong results",
                                    "fields not reached",
                                    "leaks",
                                    "calls not seen"};

struct Run {
    FaultPlan plan = {};
    bool shown = false;
    bool ended_by_itself = false; // before the close was asked for
    DWORD exit_code = 0;
    double seconds = 0;
    bool problem[PROBLEM_KINDS] = {};
    std::string notes;
};

struct Sweep {
    FaultState *state;
    // GetGuiResources at the end of the run without failures (Wine answers 0).
    LONG user_objects = LONG_MAX, gdi_objects = LONG_MAX;
    std::string copy;
    std::vector<char> environment; // the sweep's own, with the state's name added
};

void note(Run *run, Problem kind, const std::string &what) {
    run->problem[kind] = true;
    run->notes += (run->notes.empty() ? "" : "; ") + what;
}

std::string text_of(HWND window) {
    return window ? driver::text_of(window) : std::string();
}

// What the result field must show for the input fields as they are.
std::string expected_result(HWND window) {
    int32_t numbers[3];
    for (int i = 0; i < 3; i++)
        numbers[i] = parse_int(text_of(GetDlgItem(window, 3 + i)).c_str());
    CoefficientOutcome outcome = compute_coefficient(numbers[0], numbers[1], numbers[2]);
    char text[FORMAT_INT_MAX];
    format_int(outcome.value, text);
    return outcome.valid ? text : OUT_OF_RANGE_TEXT;
}

// A click behind a field's text, which puts the caret at its end; then the
// pointer goes to a corner, away from every tooltip.
void click_at_end(HWND field) {
    RECT r;
    GetWindowRect(field, &r);
    POINT at = {r.right - 4, (r.top + r.bottom) / 2}, corner = {2, 2};
    INPUT inputs[] = {driver::mouse_at(at, 0), driver::mouse_at(at, MOUSEEVENTF_LEFTDOWN),
                      driver::mouse_at(at, MOUSEEVENTF_LEFTUP), driver::mouse_at(corner, 0)};
    SendInput(4, inputs, sizeof(INPUT));
}

class Session {
  public:
    Session(Sweep *sweep, Run *run) : sweep_(sweep), state_(sweep->state), run_(run) {}

    void play() {
        DWORD start = GetTickCount();
        if (!launch()) return;
        if (wait_for_window() && run_->shown) {
            type_and_check();
            if (!ended()) PostMessageA(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        finish();
        run_->seconds = (GetTickCount() - start) / 1000.0;
    }

  private:
    struct Edit {
        int field;
        const char *text;
        bool by_tab; // reached with Shift+Tab from the field before, else by a click
    };

    bool launch() {
        ZeroMemory(state_, sizeof *state_);
        state_->plan = run_->plan;
        std::string command = "\"" + sweep_->copy + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.lpDesktop = (char *)SWEEP_DESKTOP;
        if (CreateProcessA(sweep_->copy.c_str(), &command[0], 0, 0, FALSE, 0,
                           sweep_->environment.data(), folder_of(sweep_->copy).c_str(), &startup,
                           &process_))
            return true;
        note(run_, CRASH, "the copy did not start (" + std::to_string(GetLastError()) + ")");
        return false;
    }

    bool ended() { return WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0; }

    // The window shown, or the program ended without one.
    bool wait_for_window() {
        bool seen = driver::wait_until(
            [&] {
                window_ = driver::find_window(process_.dwProcessId, "WindowClass_0");
                run_->shown = window_ && IsWindowVisible(window_);
                return run_->shown || ended();
            },
            DEADLINE_MS);
        if (!seen) note(run_, HANG, "neither a window nor an end");
        return seen;
    }

    // Presses the marker key after the input just sent and waits until the
    // program has retrieved it, so all of that input has been handled.
    bool settle() {
        LONG wanted = ++markers_;
        driver::press_key(MARKER_KEY, false, (ULONG_PTR)wanted);
        bool settled =
            driver::wait_until([&] { return state_->markers >= wanted || ended(); }, DEADLINE_MS);
        if (ended()) {
            run_->ended_by_itself = true;
            return false;
        }
        if (!settled) note(run_, HANG, "the program stopped taking input");
        return settled;
    }

    bool fault_fired() { return state_->first_failure != 0; }

    bool edit(const Edit &e) {
        bool fired_before = fault_fired();
        HWND field = GetDlgItem(window_, e.field);
        if (!field) {
            if (!fired_before)
                note(run_, FOCUS, "field " + std::to_string(e.field) + " is missing");
            return true;
        }
        if (e.by_tab) {
            driver::press_key(VK_TAB, true);
        } else {
            // The pointer's way into the window makes Wine's X11 driver match
            // its key state to the X server's; under a slow emulator that can
            // come while keys sent next are held down, and it releases them.
            click_at_end(field);
            if (!settle()) return false;
        }
        driver::press_key(VK_END);
        driver::press_key(VK_HOME, true);
        driver::type_text(e.text);
        if (!settle()) return false;
        bool fired_during = !fired_before && fault_fired();
        HWND focus = driver::focus_of(window_);
        std::string shown = text_of(focus);
        int at = GetDlgCtrlID(focus);
        if ((at == 3 || at == 4 || at == 5) && shown != e.text)
            note(run_, TYPED_TEXT,
                 "field " + std::to_string(at) + " shows \"" + shown + "\" after typing " + e.text);
        // Shift+Tab needs accelerators and the walk over the fields, which a
        // failure may have taken away; a click needs nothing of the program.
        if (focus != field && (!e.by_tab || (!fired_before && !fired_during)))
            note(run_, FOCUS,
                 "field " + std::to_string(e.field) + " did not take the focus, " +
                     (focus ? "child " + std::to_string(at) + " has it" : "nothing has it"));
        checked_after_fault_ = checked_after_fault_ || fired_before;
        bool must_be_right = !fired_before && !fired_during;
        if (run_->plan.mode == FAULT_ONCE) must_be_right = must_be_right || fired_before;
        HWND result = GetDlgItem(window_, 7);
        if (must_be_right && result) {
            std::string expected = expected_result(window_), got = text_of(result);
            if (got != expected)
                note(run_, RESULT,
                     "the result shows \"" + got + "\" instead of \"" + expected + "\" after " +
                         std::to_string(e.field) + " = " + e.text);
        }
        return true;
    }

    void type_and_check() {
        if (!driver::bring_to_front(window_)) {
            note(run_, FOCUS, "the window did not come to the front");
            return;
        }
        if (!settle()) return;
        static const Edit EDITS[] = {
            {3, "700", false}, {4, "200", false}, {5, "250", false}, {4, "300", true}};
        for (const Edit &e : EDITS)
            if (!edit(e)) return;
        // A single failure that came late must be followed by one right result.
        if (run_->plan.mode == FAULT_ONCE && fault_fired() && !checked_after_fault_)
            edit({3, "900", false});
    }

    void finish() {
        if (WaitForSingleObject(process_.hProcess, DEADLINE_MS) != WAIT_OBJECT_0) {
            note(run_, HANG, run_->shown ? "the close did not end the program" : "no end");
            TerminateProcess(process_.hProcess, 99);
            WaitForSingleObject(process_.hProcess, DEADLINE_MS);
            GetExitCodeProcess(process_.hProcess, &run_->exit_code);
        } else {
            GetExitCodeProcess(process_.hProcess, &run_->exit_code);
            check_end();
        }
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }

    void check_end() {
        char what[160];
        if (state_->crash_code || !state_->exited) {
            snprintf(what, sizeof what, "crashed with 0x%08lx at +0x%lx", run_->exit_code,
                     (unsigned long)state_->crash_site);
            note(run_, CRASH, what);
            return;
        }
        DWORD expected = run_->shown ? 0 : 1;
        if (run_->plan.only == F_GetMessageA) expected = 1;
        if (run_->exit_code != expected) {
            snprintf(what, sizeof what, "exit code %lu, not %lu", run_->exit_code, expected);
            note(run_, EXIT_CODE, what);
        }
        if (run_->ended_by_itself && run_->plan.only != F_GetMessageA)
            note(run_, EXIT_CODE, "ended while the user was still typing");
        LONG failed = state_->first_failure;
        bool excused = run_->plan.mode == FAULT_ONCE && failed && failed <= TRACE_CAPACITY &&
                       releases(state_->trace[failed - 1].function);
        if (!excused && (state_->program_windows || state_->classes || state_->accelerator_tables ||
                         state_->user_objects > sweep_->user_objects ||
                         state_->gdi_objects > sweep_->gdi_objects)) {
            snprintf(what, sizeof what,
                     "left %ld windows, %ld classes, %ld accelerator tables, %ld USER and %ld GDI "
                     "objects",
                     state_->program_windows, state_->classes, state_->accelerator_tables,
                     state_->user_objects, state_->gdi_objects);
            note(run_, LEAK, what);
        }
        if (state_->unknown_lookup[0])
            note(run_, UNSEEN,
                 std::string("looked up ") + state_->unknown_lookup +
                     ", which the stand-in does not export: the sweep cannot see its calls");
    }

    Sweep *sweep_;
    FaultState *state_;
    Run *run_;
    PROCESS_INFORMATION process_ = {};
    HWND window_ = 0;
    LONG markers_ = 0;
    bool checked_after_fault_ = false;
};

std::string describe(const CallRecord &call) {
    char text[160];
    snprintf(text, sizeof text, "%s at +0x%lx (after +0x%lx, message 0x%lx)",
             FUNCTION_NAME[call.function], (unsigned long)call.site, (unsigned long)call.previous,
             (unsigned long)call.message);
    return text;
}

// Runs one session and prints it when something went wrong.
Run play(Sweep *sweep, const FaultPlan &plan, const char *label) {
    Run run;
    run.plan = plan;
    Session(sweep, &run).play();
    if (!run.notes.empty()) {
        LONG failed = sweep->state->first_failure;
        if (failed > TRACE_CAPACITY) failed = 0;
        printf("%s: %s%s: %s\n", label, failed ? "first failure " : "no failure",
               failed ? describe(sweep->state->trace[failed - 1]).c_str() : "", run.notes.c_str());
        fflush(stdout);
    }
    return run;
}

FaultPlan plan_nth(LONG nth) {
    FaultPlan plan = {};
    plan.nth = nth;
    plan.only = ANY;
    return plan;
}

FaultPlan plan_situation(const CallRecord &situation, LONG occurrence) {
    FaultPlan plan = plan_nth(0);
    plan.situation = situation;
    plan.occurrence = occurrence;
    return plan;
}

struct Tally {
    int runs = 0, fired = 0, failed = 0, problems[PROBLEM_KINDS] = {};
    double seconds = 0;
    void add(const Run &run, bool fired_now) {
        runs++;
        fired += fired_now;
        seconds += run.seconds;
        for (int k = 0; k < PROBLEM_KINDS; k++)
            problems[k] += run.problem[k];
        failed += !run.notes.empty();
    }
    int total() const {
        int n = 0;
        for (int k = 0; k < PROBLEM_KINDS; k++)
            n += problems[k];
        return n;
    }
    void print(const char *mode) const {
        printf("%-13s %4d runs (%d with a failure, %d failed), %.0f s:", mode, runs, fired, failed,
               seconds);
        for (int k = 0; k < PROBLEM_KINDS; k++)
            printf("%s %s %d", k ? "," : "", PROBLEM_NAME[k], problems[k]);
        printf("\n");
    }
};

} // namespace

int main(int argc, char **argv) {
    setvbuf(stdout, 0, _IONBF, 0);
    CharacteristicTable table = {};
    characteristic_table = &table;
    fill_characteristic_table();

    bool full = argc > 1 && !strcmp(argv[1], "--full");
    LONG single_mode = FAULT_NONE, single_n = 0;
    if (argc > 2 && !strcmp(argv[1], "--once")) single_mode = FAULT_ONCE;
    if (argc > 2 && !strcmp(argv[1], "--from")) single_mode = FAULT_FROM_THEN_ON;
    if (single_mode) single_n = atol(argv[2]);

    Sweep sweep;
    std::string name = "kandu-fault-state-" + std::to_string(GetCurrentProcessId());
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, 0, PAGE_READWRITE, 0,
                                        sizeof(FaultState), name.c_str());
    sweep.state = (FaultState *)MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(FaultState));
    if (!sweep.state) return printf("no shared memory\n"), 1;
    char *own = GetEnvironmentStringsA();
    for (char *entry = own; *entry; entry += strlen(entry) + 1)
        if (strncmp(entry, FAULT_STATE_VARIABLE "=", sizeof FAULT_STATE_VARIABLE))
            sweep.environment.insert(sweep.environment.end(), entry, entry + strlen(entry) + 1);
    std::string variable = FAULT_STATE_VARIABLE "=" + name;
    sweep.environment.insert(sweep.environment.end(), variable.c_str(),
                             variable.c_str() + variable.size() + 1);
    sweep.environment.push_back(0);
    if (!make_copy(driver::kandu_path(), windows_path(STANDIN_DLL_PATH), &sweep.copy)) return 1;

    if (!enter_own_desktop()) return printf("cannot make the sweep's desktop\n"), 1;
    DWORD began = GetTickCount();
    if (single_mode) {
        FaultPlan plan = plan_nth(single_n);
        plan.mode = single_mode;
        Run run = play(&sweep, plan, argv[1]);
        printf("%s %ld: %s, exit code %lu, %ld calls, %.1f s\n", argv[1], single_n,
               run.notes.empty() ? "fine" : "FAILED", run.exit_code, sweep.state->calls,
               run.seconds);
        return run.notes.empty() ? 0 : 1;
    }

    Run baseline = play(&sweep, plan_nth(0), "no failure");
    LONG count = sweep.state->calls;
    if (!baseline.notes.empty() || !baseline.shown || count > TRACE_CAPACITY) {
        printf("FAILED: the session itself does not pass without failures\n");
        return 1;
    }
    // The default sweep's runs, in the session's order: each call site's
    // first and last call, and GetMessageA after each kind of message, where
    // a failed retrieval could hand that message out again.
    std::map<LONG, FaultPlan> chosen; // by the call's number in the session
    std::map<DWORD, std::vector<LONG>> at_site;
    std::map<LONG, int> per_function;
    std::set<LONG> messages;
    for (LONG i = 0; i < count; i++) {
        const CallRecord &call = sweep.state->trace[i];
        per_function[call.function]++;
        at_site[call.site].push_back(i);
        if (call.function == F_GetMessageA && messages.insert(call.message).second)
            chosen.emplace(
                i, plan_situation({F_GetMessageA, call.site, (DWORD)ANY, call.message, 0}, 1));
    }
    for (const auto &site : at_site) {
        CallRecord any_call_there = {ANY, site.first, (DWORD)ANY, ANY, 0};
        chosen.emplace(site.second.front(), plan_situation(any_call_there, 1));
        chosen.emplace(site.second.back(),
                       plan_situation(any_call_there, (LONG)site.second.size()));
    }
    sweep.user_objects = sweep.state->user_objects;
    sweep.gdi_objects = sweep.state->gdi_objects;
    printf("a session without failures: %ld fallible calls from %zu call sites, %.1f s; at its "
           "end GetGuiResources counts %ld USER and %ld GDI objects\n",
           count, at_site.size(), baseline.seconds, sweep.user_objects, sweep.gdi_objects);
    printf("calls per function:");
    for (const auto &f : per_function)
        printf(" %s %d", FUNCTION_NAME[f.first], f.second);
    printf("\n");
    // The full sweep fails every call by its number as well; the session's
    // length varies by a few calls, so numbers alone can miss a site.
    std::vector<FaultPlan> plans;
    for (LONG i = 0; full && i < count; i++)
        plans.push_back(plan_nth(i + 1));
    for (const auto &plan : chosen)
        plans.push_back(plan.second);

    Tally tallies[2];
    std::set<DWORD> failed_sites[2];
    const LONG MODES[2] = {FAULT_ONCE, FAULT_FROM_THEN_ON};
    const char *const MODE_NAME[2] = {"once", "from then on"};
    for (int m = 0; m < 2; m++) {
        for (size_t i = 0; i < plans.size(); i++) {
            FaultPlan plan = plans[i];
            plan.mode = MODES[m];
            char label[64];
            snprintf(label, sizeof label, "%s, run %zu", MODE_NAME[m], i + 1);
            Run run = play(&sweep, plan, label);
            LONG began = sweep.state->triggered;
            if (began && began <= TRACE_CAPACITY)
                failed_sites[m].insert(sweep.state->trace[began - 1].site);
            tallies[m].add(run, sweep.state->first_failure != 0);
        }
    }

    // Every GetMessageA fails from the middle of the typing on.
    FaultPlan endless = plan_situation({F_GetMessageA, (DWORD)ANY, (DWORD)ANY, WM_CHAR, 0}, 1);
    endless.mode = FAULT_FROM_THEN_ON;
    endless.only = F_GetMessageA;
    Run stuck = play(&sweep, endless, "GetMessageA failing from then on");

    printf("\nfallible calls in one session: %ld\n", count);
    int problems = 0;
    for (int m = 0; m < 2; m++) {
        tallies[m].print(MODE_NAME[m]);
        problems += tallies[m].total();
        for (const auto &site : at_site)
            if (!failed_sites[m].count(site.first)) {
                printf("%s: no run began at the call site +0x%lx\n", MODE_NAME[m],
                       (unsigned long)site.first);
                problems++;
            }
    }
    printf("GetMessageA failing from the typing on: %s, exit code %lu after %.1f s\n",
           stuck.notes.empty() ? "ended by itself" : stuck.notes.c_str(), stuck.exit_code,
           stuck.seconds);
    problems += !stuck.notes.empty();
    printf("sweep time: %.0f s\n", (GetTickCount() - began) / 1000.0);
    if (problems) printf("FAILED: %d problems\n", problems);
    return problems ? 1 : 0;
}
