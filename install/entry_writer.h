// Writes extracted entries through the archive library's disk writer on a
// thread of its own, so that the disk work (creating files, copying into the
// page cache, setting times) runs beside the decoders instead of between their
// blocks: decoding is most of an extraction's time.
//
// Several decoders may share one writer, each on a lane of its own with a disk
// writer of its own. All disk calls stay on the writer's thread: the library
// clears and restores the process umask around every entry it writes, which
// two threads writing at once would race on.
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

// Each lane's calls come from one thread at a time, in the order Begin,
// Data..., End for each entry; TakeFailures and Finish (once) from the thread
// that made the writer. The writer thread owns the disk writers from
// construction until Finish returns.
class EntryWriter {
public:
    // outs: one disk writer per lane, with its options set. Starts the thread
    // (may throw).
    explicit EntryWriter(std::vector<archive*> outs);
    explicit EntryWriter(archive* out) : EntryWriter(std::vector<archive*>{out}) {}
    ~EntryWriter();
    EntryWriter(const EntryWriter&) = delete;
    EntryWriter& operator=(const EntryWriter&) = delete;

    // The entry is copied; its name is final.
    void Begin(archive_entry* entry, size_t lane = 0);
    // Bytes of the lane's current entry at offset (the decoder's block, copied).
    void Data(const void* block, size_t size, int64_t offset, size_t lane = 0);
    // readOk: every byte of the entry was decoded.
    void End(bool readOk, size_t lane = 0);
    // Entries that failed (unreadable, or the disk refused them) since the
    // last call; each failure is counted once.
    int TakeFailures();
    // Writes what is queued, closes the disk writers (a folder's time and
    // mode are set then); false when closing failed.
    bool Finish();

private:
    struct EntryDeleter {
        void operator()(archive_entry* e) const { archive_entry_free(e); }
    };
    using Entry = std::unique_ptr<archive_entry, EntryDeleter>;
    struct Job {
        enum Kind { kHeader, kData, kEnd } kind;
        size_t lane;
        Entry entry;
        std::vector<char> bytes;
        int64_t offset = 0;
        bool readOk = true;
    };
    struct Lane {
        archive* out;
        // The lane's decoding thread only.
        std::vector<char> pending;  // contiguous blocks gathered into one write
        int64_t pendingOffset = 0;
        // Writer thread only.
        bool entryOk = true;
    };

    void FlushPending(size_t lane);
    void Push(Job job);
    void Loop();
    void Handle(Job& job);
    void Recycle(std::vector<char>&& bytes);

    std::vector<Lane> m_lanes;
    std::mutex m_lock;
    std::condition_variable m_work;          // the writer waits for jobs
    std::condition_variable m_room;          // decoders wait for room in the queue
    std::deque<Job> m_jobs;                  // under m_lock
    size_t m_queuedBytes = 0;                // under m_lock: bytes queued or being written
    std::vector<std::vector<char>> m_spare;  // under m_lock: emptied data buffers
    bool m_stop = false;                     // under m_lock
    bool m_writerIdle = false;               // under m_lock: waiting on m_work
    std::atomic<int> m_failures{0};
    // The making thread only.
    int m_taken = 0;
    bool m_finished = false;
    std::thread m_thread;
};
