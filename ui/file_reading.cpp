// What each plug-in's DLL file says, read on a worker thread so that the
// rows appear at once and a slow disk, a scanner or a share that does not
// answer never holds up the window. The worker only reads files: it gets
// its own copy of the paths and hands the results back by message. A
// refresh, an operation or closing the window abandons it at once; nothing
// ever waits for it, and the last of the two sides to let go of the job
// frees it.
#include "ui/ui.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "catalogue/dll_problem.h"
#include "ui/list_rows.h"

namespace {

// Results travel in batches: one message per file would flood the queue
// with thousands of plug-ins, and each batch costs a repaint of the rows in
// view (about 10 ms under Wine).
const uint32_t BATCH_SIZE = 128;
const DWORD BATCH_MILLISECONDS = 100;

struct ReadItem {
    int index;
    WCHAR file[PLUG_FILE_CHARS];
};

struct ReadJob {
    volatile LONG abandoned;
    volatile LONG holders; // the window and the worker
    HWND window;
    uint32_t generation;
    uint32_t count;
    ReadItem items[1]; // count of them
};

struct FilesRead {
    uint32_t generation;
    uint32_t count;
    int index[BATCH_SIZE];
    DllFacts facts[BATCH_SIZE];
};

std::vector<DllFacts> row_facts_table;
ReadJob *current_job = nullptr;
uint32_t generation = 0;

void let_go(ReadJob *job)
{
    if (InterlockedDecrement(&job->holders) == 0) free(job);
}

// 0 when the window is gone: the batch is then freed here.
int hand_over(ReadJob *job, FilesRead *batch)
{
    if (batch == nullptr || batch->count == 0) return 1;
    if (PostMessageW(job->window, WM_FILES_READ, 0, reinterpret_cast<LPARAM>(batch))) return 1;
    free(batch);
    return 0;
}

DWORD WINAPI read_files(LPVOID param)
{
    ReadJob *job = static_cast<ReadJob *>(param);
    FilesRead *batch = nullptr;
    DWORD started = GetTickCount();
    for (uint32_t i = 0; i < job->count && job->abandoned == 0; i++) {
        if (batch == nullptr) {
            batch = static_cast<FilesRead *>(malloc(sizeof *batch));
            if (batch == nullptr) break;
            batch->generation = job->generation;
            batch->count = 0;
            started = GetTickCount();
        }
        read_file_facts(1, job->items[i].file, &batch->facts[batch->count]);
        batch->index[batch->count++] = job->items[i].index;
        if (batch->count == BATCH_SIZE || GetTickCount() - started >= BATCH_MILLISECONDS) {
            // A batch posted after all is dropped, and freed, on arrival.
            int delivered = hand_over(job, batch);
            batch = nullptr;
            if (!delivered) break;
        }
    }
    if (batch != nullptr) {
        if (job->abandoned == 0) hand_over(job, batch);
        else free(batch);
    }
    let_go(job);
    return 0;
}

// A job over the entries whose file is found and not read yet.
ReadJob *make_job(HWND window)
{
    uint32_t wanted = 0;
    for (size_t i = 0; i < row_facts_table.size(); i++)
        if (row_facts_table[i].read == DLL_READ_PENDING) wanted++;
    if (wanted == 0) return nullptr;
    size_t size = sizeof(ReadJob) + (wanted - 1) * sizeof(ReadItem);
    ReadJob *job = static_cast<ReadJob *>(malloc(size));
    if (job == nullptr) return nullptr;
    job->abandoned = 0;
    job->holders = 2;
    job->window = window;
    job->generation = generation;
    job->count = 0;
    for (size_t i = 0; i < row_facts_table.size() && job->count < wanted; i++) {
        if (row_facts_table[i].read != DLL_READ_PENDING) continue;
        ReadItem *item = &job->items[job->count++];
        item->index = static_cast<int>(i) + 1;
        memcpy(item->file, catalogue_file(item->index), sizeof item->file);
        item->file[PLUG_FILE_CHARS - 1] = 0;
    }
    return job;
}

void launch(HWND window)
{
    ReadJob *job = make_job(window);
    if (job == nullptr) return;
    HANDLE thread = CreateThread(nullptr, 0, read_files, job, 0, nullptr);
    if (thread == nullptr) {
        free(job);
        return;
    }
    // Below the window's thread, so that reading never slows the answers.
    SetThreadPriority(thread, THREAD_PRIORITY_BELOW_NORMAL);
    CloseHandle(thread); // never waited for
    current_job = job;
}

} // namespace

const DllFacts *row_facts(int index)
{
    if (index < 1 || static_cast<size_t>(index) > row_facts_table.size()) return nullptr;
    return &row_facts_table[static_cast<size_t>(index) - 1];
}

void abandon_reading()
{
    generation++; // results already on their way are dropped on arrival
    if (current_job == nullptr) return;
    InterlockedExchange(&current_job->abandoned, 1);
    let_go(current_job);
    current_job = nullptr;
}

void start_reading_files(HWND window)
{
    abandon_reading();
    uint32_t count = catalogue_count();
    row_facts_table.assign(count, DllFacts());
    for (uint32_t i = 0; i < count; i++) {
        DllFacts *facts = &row_facts_table[i];
        memset(facts, 0, sizeof *facts);
        const PlugEntry *entry = catalogue_get(static_cast<int>(i) + 1);
        // Without a file found there is nothing to read.
        int readable = entry != nullptr && entry->dll_exists != 0 &&
                       catalogue_file(static_cast<int>(i) + 1)[0] != 0;
        facts->read = readable ? DLL_READ_PENDING : DLL_READ_NO_FILE;
    }
    launch(window);
}

void resume_reading(HWND window)
{
    abandon_reading();
    launch(window);
}

int reading_files()
{
    for (const DllFacts &facts : row_facts_table)
        if (facts.read == DLL_READ_PENDING) return 1;
    return 0;
}

void read_pending_files_now()
{
    for (size_t i = 0; i < row_facts_table.size(); i++)
        if (row_facts_table[i].read == DLL_READ_PENDING)
            read_entry_facts(static_cast<int>(i) + 1, &row_facts_table[i]);
}

void take_files_read(LPARAM lparam)
{
    FilesRead *batch = reinterpret_cast<FilesRead *>(lparam);
    if (batch == nullptr) return;
    if (batch->generation == generation) {
        int widen = 0;
        for (uint32_t i = 0; i < batch->count && i < BATCH_SIZE; i++) {
            int index = batch->index[i];
            const PlugEntry *entry = catalogue_get(index);
            if (entry == nullptr || static_cast<size_t>(index) > row_facts_table.size()) continue;
            DllFacts *facts = &row_facts_table[static_cast<size_t>(index) - 1];
            int shown_before = row_matches(entry, facts, find_text);
            *facts = batch->facts[i];
            // A company that matches the find box brings its row in.
            if (!shown_before && row_matches(entry, facts, find_text)) widen = 1;
        }
        rows_read(widen);
    }
    free(batch);
}
