// Writes extracted entries through the archive library's disk writer on a
// thread of its own, so that the disk work (creating files, copying into the
// page cache, setting times) runs beside the decoder instead of between its
// blocks: the decoder is one thread and most of an extraction's time.
#pragma once

#include <archive.h>
#include <archive_entry.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Calls come from one thread (the decoding thread), in the order
// Begin, Data..., End for each entry, then Finish once. The writer thread
// owns the disk writer from construction until Finish returns.
class EntryWriter {
public:
    // out: a disk writer with its options set. Starts the thread (may throw).
    explicit EntryWriter(archive* out);
    ~EntryWriter();
    EntryWriter(const EntryWriter&) = delete;
    EntryWriter& operator=(const EntryWriter&) = delete;

    // The entry is copied; its name is final.
    void Begin(archive_entry* entry);
    // Bytes of the current entry at offset (the decoder's block, copied).
    void Data(const void* block, size_t size, int64_t offset);
    // readOk: every byte of the entry was decoded.
    void End(bool readOk);
    // Entries that failed (unreadable, or the disk refused them) since the
    // last call; each failure is counted once.
    int TakeFailures();
    // Writes what is queued, closes the disk writer; false when closing failed.
    bool Finish();

private:
    struct EntryDeleter {
        void operator()(archive_entry* e) const { archive_entry_free(e); }
    };
    using Entry = std::unique_ptr<archive_entry, EntryDeleter>;
    struct Job {
        enum Kind { kHeader, kData, kEnd } kind;
        Entry entry;
        std::vector<char> bytes;
        int64_t offset = 0;
        bool readOk = true;
    };

    void FlushPending();
    void Push(Job job);
    void Loop();
    void Handle(Job& job);
    void Recycle(std::vector<char>&& bytes);

    archive* m_out;
    std::mutex m_lock;
    std::condition_variable m_work;          // the writer waits for jobs
    std::condition_variable m_room;          // the decoder waits for room in the queue
    std::deque<Job> m_jobs;                  // under m_lock
    size_t m_queuedBytes = 0;                // under m_lock: bytes queued or being written
    std::vector<std::vector<char>> m_spare;  // under m_lock: emptied data buffers
    bool m_stop = false;                     // under m_lock
    bool m_writerIdle = false;               // under m_lock: waiting on m_work
    std::atomic<int> m_failures{0};
    // Decoding thread only.
    int m_taken = 0;
    bool m_finished = false;
    std::vector<char> m_pending;  // contiguous blocks gathered into one write
    int64_t m_pendingOffset = 0;
    // Writer thread only.
    bool m_entryOk = true;
    std::thread m_thread;
};
